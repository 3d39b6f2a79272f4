#include "platform/files/InotifyChangeWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/files/FolderWatch.h"

namespace meterwright {

struct InotifyChangeWatch::Impl {
  // Serialises start() and stop(); the thread itself only reads what start() gave it.
  std::mutex lock;
  std::thread thread;
  // Written to by stop(), polled by the thread beside the watch.
  int wakeRead = -1;
  int wakeWrite = -1;

  void run(FolderWatch watch, std::function<void(const std::string&)> onChange) {
    pollfd descriptors[2] = {{watch.fd(), POLLIN, 0}, {wakeRead, POLLIN, 0}};
    for (;;) {
      // No deadline: stop() ends the wait through the pipe, and nothing else is due.
      int ready = ::poll(descriptors, 2, -1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || descriptors[1].revents != 0) return;
      if (descriptors[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
      for (const auto& name : watch.drainNames()) onChange(name);
    }
  }

  void stopThread() {
    if (!thread.joinable()) return;
    char byte = 0;
    while (::write(wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
    thread.join();
    ::close(wakeRead);
    ::close(wakeWrite);
    wakeRead = wakeWrite = -1;
  }
};

InotifyChangeWatch::InotifyChangeWatch() : impl_(std::make_unique<Impl>()) {}

InotifyChangeWatch::~InotifyChangeWatch() {
  stop();
}

bool InotifyChangeWatch::start(const std::filesystem::path& folder,
                               std::function<void(const std::string&)> onChange) {
  std::lock_guard lock(impl_->lock);
  impl_->stopThread();
  auto watch = FolderWatch::start(folder);
  if (!watch) return false;
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  impl_->wakeRead = pipe[0];
  impl_->wakeWrite = pipe[1];
  impl_->thread = std::thread(
      [impl = impl_.get(), watch = std::move(*watch), onChange = std::move(onChange)]() mutable {
        impl->run(std::move(watch), std::move(onChange));
      });
  return true;
}

void InotifyChangeWatch::stop() {
  std::lock_guard lock(impl_->lock);
  impl_->stopThread();
}

}  // namespace meterwright
