#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

namespace meterwright {

// An exclusive flock(2) on a lock file, held until the object goes. Processes of one user take it
// around a read-modify-write of a shared file; a process that dies releases it with its
// descriptors, so a crash never blocks the others.
class FileLock {
 public:
  // Opens (creating, 0600) the lock file and waits for the lock for at most `patience`. Nothing
  // when the file cannot be opened or another holder keeps the lock past the wait. A symbolic link
  // at `file` is never followed.
  static std::optional<FileLock> acquire(const std::filesystem::path& file,
                                         std::chrono::milliseconds patience);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int fd) : fd_(fd) {}

  int fd_ = -1;
};

}  // namespace meterwright
