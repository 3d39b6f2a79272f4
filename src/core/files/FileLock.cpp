#include "core/files/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

namespace meterwright {

std::optional<FileLock> FileLock::open(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return std::nullopt;
  return FileLock(fd);
}

std::optional<FileLock> FileLock::acquire(const std::filesystem::path& path,
                                          std::chrono::milliseconds patience) {
  std::optional<FileLock> lock = open(path);
  if (!lock || !lock->lock(std::chrono::duration<double>(patience).count())) return std::nullopt;
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

bool FileLock::lock(double patience) {
  using SteadyClock = std::chrono::steady_clock;
  auto deadline = SteadyClock::now();
  if (patience > 0) {
    deadline += std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(std::min(patience, 3600.0)));
  }
  // flock(2) has no timed form: ask without blocking, a millisecond apart, until the wait is over.
  // Holders keep it for one small read and write, so the first or second try nearly always
  // succeeds.
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace meterwright
