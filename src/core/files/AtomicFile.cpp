#include "core/files/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace meterwright {

namespace fs = std::filesystem;

namespace {

// Chunks keep the interruption points of a large write observable in tests.
constexpr std::size_t chunkSize = 64 * 1024;

enum class WriteOutcome { written, failed, stopped };

WriteOutcome writeAll(int fd, std::string_view bytes, const AtomicFile::Options& options) {
  while (!bytes.empty()) {
    std::size_t size = std::min(bytes.size(), chunkSize);
    ssize_t written = ::write(fd, bytes.data(), size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return WriteOutcome::failed;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    if (options.stopAt && options.stopAt(AtomicFile::Step::wroteChunk))
      return WriteOutcome::stopped;
  }
  return WriteOutcome::written;
}

void syncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool AtomicFile::write(const fs::path& requested, std::string_view bytes, const Options& options) {
  // Replacing a symbolic link would cut it (dotfiles kept in a repository are often linked in);
  // the file it points to is replaced instead.
  fs::path path = requested;
  struct stat link {};
  if (::lstat(requested.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    std::error_code error;
    path = fs::weakly_canonical(requested, error);
    if (error) return false;
  }
  fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  std::string hidden = ".";
  hidden += path.filename().string();
  hidden += ".XXXXXX";
  std::string pattern = (folder / hidden).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');

  // mkstemp creates the file 0600, so a secret is never readable by others, even briefly.
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  auto stop = [&](Step step) { return options.stopAt && options.stopAt(step); };
  auto abandon = [&] {
    ::close(fd);
    ::unlink(name.data());
    return false;
  };

  if (stop(Step::createdTemporary)) return ::close(fd), false;
  switch (writeAll(fd, bytes, options)) {
    case WriteOutcome::written:
      break;
    case WriteOutcome::stopped:
      return ::close(fd), false;
    case WriteOutcome::failed:
      return abandon();
  }
  if (::fchmod(fd, options.mode) != 0 || ::fsync(fd) != 0) return abandon();
  if (stop(Step::flushed)) return ::close(fd), false;
  if (::close(fd) != 0) {
    ::unlink(name.data());
    return false;
  }
  if (::rename(name.data(), path.c_str()) != 0) {
    ::unlink(name.data());
    return false;
  }
  syncFolder(folder);
  if (stop(Step::renamed)) return false;
  return true;
}

bool AtomicFile::createFolders(const fs::path& folder, mode_t mode) {
  std::error_code error;
  if (fs::is_directory(folder, error)) return true;
  if (folder.has_parent_path() && folder.parent_path() != folder) {
    createFolders(folder.parent_path(), mode);
  }
  if (::mkdir(folder.c_str(), mode) == 0) {
    // mkdir masks the mode with the umask; a folder for secrets must get exactly what was asked.
    ::chmod(folder.c_str(), mode);
  } else if (errno != EEXIST) {
    return false;
  }
  return fs::is_directory(folder, error);
}

FileReading::Result FileReading::read(const fs::path& path, std::size_t limit) {
  Result result;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.outcome = errno == ENOENT ? Outcome::missing : Outcome::unreadable;
    return result;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    result.outcome = Outcome::unreadable;
    return result;
  }
  char buffer[64 * 1024];
  result.outcome = Outcome::read;
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      result.outcome = Outcome::unreadable;
      break;
    }
    if (count == 0) break;
    if (result.bytes.size() + static_cast<std::size_t>(count) > limit) {
      result.outcome = Outcome::tooLarge;
      break;
    }
    result.bytes.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  if (result.outcome != Outcome::read) result.bytes.clear();
  return result;
}

}  // namespace meterwright
