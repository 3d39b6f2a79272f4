#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

namespace meterwright {

// An exclusive flock(2) on a lock file beside a shared file, held until the object goes. Processes
// of one user take it around a read-modify-write of the shared file; a process that dies releases
// it with its descriptors, so a crash never blocks the others.
class FileLock {
 public:
  // Opens (creating, mode 0600) the lock file, never through a symbolic link, without locking;
  // nothing when it cannot be opened.
  static std::optional<FileLock> open(const std::filesystem::path& path);

  // Opens the lock file and waits for the lock for at most `patience`. Nothing when the file
  // cannot be opened or another holder keeps the lock past the wait.
  static std::optional<FileLock> acquire(const std::filesystem::path& path,
                                         std::chrono::milliseconds patience);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // Takes the lock, waiting up to `patience` seconds for another holder; false when it is still
  // held then. Holders keep it for their bookkeeping alone, microseconds.
  bool lock(double patience);

 private:
  explicit FileLock(int fd) : fd_(fd) {}

  int fd_ = -1;
};

}  // namespace meterwright
