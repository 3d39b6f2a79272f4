#include "desktop/readers/claude/TokenSetupAssistant.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "desktop/readers/claude/ClaudeExecutable.h"

namespace meterwright {

namespace {

// Zeros over every byte the file holds, flushed to disk before it is unlinked, so the token does
// not survive in the freed blocks of an ordinary file system. A link is not followed: it is only
// removed.
void shred(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      std::array<char, 4096> zeros{};
      off_t left = info.st_size;
      while (left > 0) {
        ssize_t wrote = ::write(fd, zeros.data(), std::min<off_t>(left, zeros.size()));
        if (wrote <= 0) break;
        left -= wrote;
      }
      ::fsync(fd);
    }
    ::close(fd);
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

void TokenSetupAssistant::cancel() {
  if (handoff_) {
    std::error_code error;
    if (std::filesystem::symlink_status(*handoff_, error).type() !=
        std::filesystem::file_type::not_found)
      shred(*handoff_);
  }
  if (onStateChange) onStateChange(Idle{});
}

std::optional<std::string> TokenSetupAssistant::claudeExecutable(
    const FileLocations& locations, const EnvironmentBlock& environment) {
  return ClaudeExecutable::find(locations, environment);
}

}  // namespace meterwright
