#include "platform/files/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace meterwright {

std::optional<FolderWatch> FolderWatch::start(const std::filesystem::path& folder) {
  int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return std::nullopt;
  if (::inotify_add_watch(fd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR) < 0) {
    ::close(fd);
    return std::nullopt;
  }
  return FolderWatch(fd);
}

FolderWatch::FolderWatch(FolderWatch&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

FolderWatch::~FolderWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool FolderWatch::drain(std::string_view name) {
  bool concerned = false;
  for (const auto& changed : drainNames()) concerned = concerned || changed == name;
  return concerned;
}

std::vector<std::string> FolderWatch::drainNames() {
  std::vector<std::string> names;
  alignas(inotify_event) char buffer[16 * 1024];
  for (;;) {
    ssize_t length = ::read(fd_, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) return names;
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
      inotify_event event;
      std::memcpy(&event, buffer + offset, sizeof event);
      const char* eventName = buffer + offset + sizeof(inotify_event);
      if (event.len > 0) names.emplace_back(eventName, ::strnlen(eventName, event.len));
      offset += sizeof(inotify_event) + event.len;
    }
  }
}

}  // namespace meterwright
