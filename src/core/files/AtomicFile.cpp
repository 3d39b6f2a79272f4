#include "core/files/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

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

// Gives the new file the replaced file's owner and permission bits (or exactly the mode asked
// for); set-id bits are never carried over. An owner this process may not give is left as it is;
// a mode it cannot set fails the write rather than leave the file wider than it was.
bool matchReplaced(int fd, const struct stat* replaced, const AtomicFile::Options& options) {
  if (replaced) {
    struct stat created {};
    if (::fstat(fd, &created) == 0 &&
        (created.st_uid != replaced->st_uid || created.st_gid != replaced->st_gid)) {
      if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {
        (void)::fchown(fd, static_cast<uid_t>(-1), replaced->st_gid);
      }
    }
  }
  if (options.exactMode) return ::fchmod(fd, options.mode & 0777) == 0;
  if (replaced) return ::fchmod(fd, replaced->st_mode & 0777) == 0;
  return true;
}

}  // namespace

bool AtomicFile::write(const fs::path& requested, std::string_view bytes, const Options& options) {
  // Replacing a symbolic link would cut it (dotfiles kept in a repository are often linked in);
  // the file it points to is replaced instead. Only a link this user made, though: one planted in
  // a shared folder by someone else would aim this user's write at any file they can reach.
  fs::path path = requested;
  struct stat link {};
  if (::lstat(requested.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (link.st_uid != ::geteuid()) return false;
    std::error_code error;
    path = fs::weakly_canonical(requested, error);
    if (error) return false;
  }
  struct stat replaced {};
  bool replacing = ::stat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode);
  fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  // Created with the mode asked for, less the umask as for any new file: a user whose umask keeps
  // their files private keeps them private here too. O_EXCL never reuses a leftover name.
  static std::atomic<unsigned> counter{0};
  std::string name;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    std::string hidden = ".";
    hidden.append(path.filename().string()).append(".").append(std::to_string(::getpid()));
    hidden.append(".").append(std::to_string(counter++));
    name = (folder / hidden).string();
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.mode);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  auto stop = [&](Step step) { return options.stopAt && options.stopAt(step); };
  auto abandon = [&] {
    ::close(fd);
    ::unlink(name.c_str());
    return false;
  };

  if (!matchReplaced(fd, replacing ? &replaced : nullptr, options)) return abandon();
  if (stop(Step::createdTemporary)) return ::close(fd), false;
  switch (writeAll(fd, bytes, options)) {
    case WriteOutcome::written:
      break;
    case WriteOutcome::stopped:
      return ::close(fd), false;
    case WriteOutcome::failed:
      return abandon();
  }
  if (::fsync(fd) != 0) return abandon();
  if (stop(Step::flushed)) return ::close(fd), false;
  if (::close(fd) != 0) {
    ::unlink(name.c_str());
    return false;
  }
  if (::rename(name.c_str(), path.c_str()) != 0) {
    ::unlink(name.c_str());
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
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) return false;
  return fs::is_directory(folder, error);
}

namespace {

// Reads `fd` to its end into `result`, refusing more than `limit` bytes; closes `fd`.
void readAll(int fd, std::size_t limit, FileReading::Result& result) {
  using Outcome = FileReading::Outcome;
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
}

}  // namespace

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
  readAll(fd, limit, result);
  return result;
}

FileReading::Result FileReading::readRegular(const fs::path& path, std::size_t limit) {
  Result result;
  struct stat info {};
  // stat first: opening a fifo blocks and opening a device may act on it.
  if (::stat(path.c_str(), &info) != 0) {
    result.outcome = errno == ENOENT ? Outcome::missing : Outcome::unreadable;
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.outcome = Outcome::unreadable;
    return result;
  }
  if (static_cast<std::uintmax_t>(info.st_size) > limit) {
    result.outcome = Outcome::tooLarge;
    return result;
  }
  // Non-blocking and checked again once open, in case something else was put there meanwhile.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    result.outcome = errno == ENOENT ? Outcome::missing : Outcome::unreadable;
    return result;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    result.outcome = Outcome::unreadable;
    return result;
  }
  // A regular file opened non-blocking reads as usual.
  readAll(fd, limit, result);
  return result;
}

}  // namespace meterwright
