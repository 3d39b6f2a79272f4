#pragma once

#include <filesystem>
#include <optional>

namespace meterwright {

// An exclusive flock on a lock file beside a shared file, so that the processes of one user
// read-modify-write it one at a time. The lock dies with its holder, so a crashed process never
// blocks the others.
class FileLock {
 public:
  // Opens (creating, mode 0600) the lock file, never through a symbolic link; nothing when it
  // cannot be opened.
  static std::optional<FileLock> open(const std::filesystem::path& path);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  ~FileLock();

  // Takes the lock, waiting up to `patience` seconds for another holder; false when it is still
  // held then. Holders keep it for their bookkeeping alone, microseconds.
  bool lock(double patience);

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace meterwright
