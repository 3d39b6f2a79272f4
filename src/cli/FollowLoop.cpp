#include "cli/FollowLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <mutex>
#include <thread>

#include "core/files/AtomicFile.h"
#include "platform/files/FolderWatch.h"

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A descriptor pair that closes itself.
struct Pipe {
  int read = -1;
  int write = -1;
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
};

// All of `text`; false when the reader has gone (EPIPE) or the output fails otherwise.
bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) {
      pollfd writable{fd, POLLOUT, 0};
      if (::poll(&writable, 1, 1000) <= 0) return false;
      continue;
    }
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A reading that is still running when the loop must end cannot be waited for (a request may
// take fifteen seconds): its children (a `codex app-server`) are asked to stop, each in its own
// process group, so none outlives this process.
void stopChildren() {
  std::error_code ignored;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored)) {
    std::ifstream children(task.path() / "children");
    for (pid_t pid; children >> pid;) {
      ::kill(-pid, SIGTERM);
      ::kill(pid, SIGTERM);
    }
  }
}

int millisecondsUntil(SteadyClock::time_point due) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(due - SteadyClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace

FollowLoop::FollowLoop(Callbacks callbacks, std::filesystem::path storedReading, int outputFd)
    : callbacks_(std::move(callbacks)),
      storedReading_(std::move(storedReading)),
      outputFd_(outputFd) {}

int FollowLoop::run() {
  // Blocked before the worker starts, so no thread takes them and the loop reads them as events.
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  int signals = ::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
  // A reader that goes away shows as a failed write, not a killed process.
  ::signal(SIGPIPE, SIG_IGN);

  AtomicFile::createFolders(storedReading_.parent_path());
  std::optional<FolderWatch> watch = FolderWatch::start(storedReading_.parent_path());
  Pipe done;
  if (signals < 0 || !done.open()) return 1;

  std::mutex resultLock;
  std::optional<Snapshot> result;
  std::thread worker;
  bool busy = false;
  bool readAgain = true;
  auto due = SteadyClock::now();
  std::optional<std::string> lastLine;

  for (;;) {
    if (!busy && (readAgain || SteadyClock::now() >= due)) {
      readAgain = false;
      busy = true;
      worker = std::thread([&] {
        std::optional<Snapshot> reading = callbacks_.read();
        {
          std::lock_guard lock(resultLock);
          result = std::move(reading);
        }
        char byte = 1;
        while (::write(done.write, &byte, 1) < 0 && errno == EINTR) {
        }
      });
    }

    pollfd fds[4] = {{outputFd_, 0, 0},
                     {signals, POLLIN, 0},
                     {done.read, POLLIN, 0},
                     {watch ? watch->fd() : -1, POLLIN, 0}};
    int ready = ::poll(fds, 4, busy ? -1 : millisecondsUntil(due));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
    if (fds[1].revents) break;
    // Another process stored a reading (or this one did): read again to take it up.
    if ((fds[3].revents & POLLIN) && watch->drain(storedReading_.filename().string())) {
      readAgain = true;
    }
    if (fds[2].revents & POLLIN) {
      char byte;
      while (::read(done.read, &byte, 1) > 0) {
      }
      worker.join();
      busy = false;
      std::optional<Snapshot> reading;
      {
        std::lock_guard lock(resultLock);
        reading = std::move(result);
      }
      std::string line = callbacks_.render(reading);
      if (line != lastLine) {
        if (!writeAll(outputFd_, line + "\n")) break;
        lastLine = line;
      }
      double wait = callbacks_.secondsToNextReading();
      wait = wait >= 1 ? std::min(wait, 86400.0) : 1;
      due = SteadyClock::now() +
            std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(wait));
    }
  }

  if (busy) {
    stopChildren();
    ::_exit(0);
  }
  ::close(signals);
  return 0;
}

}  // namespace meterwright
