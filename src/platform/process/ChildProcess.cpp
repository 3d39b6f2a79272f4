#include "platform/process/ChildProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;

void closeQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    closeQuietly(read);
    closeQuietly(write);
  }
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
};

// Everything the child needs after fork, prepared before it: between fork and exec only
// async-signal-safe calls are allowed, so no allocation happens there.
struct ExecArguments {
  std::vector<std::string> storage;
  std::vector<char*> argv;
  std::vector<char*> envp;

  explicit ExecArguments(const ChildProcess::Launch& launch) {
    storage.reserve(1 + launch.arguments.size() + launch.environment.entries().size());
    storage.push_back(launch.executable);
    for (const auto& argument : launch.arguments) storage.push_back(argument);
    std::size_t argumentCount = storage.size();
    for (const auto& entry : launch.environment.entries()) storage.push_back(entry);
    for (std::size_t i = 0; i < argumentCount; ++i) argv.push_back(storage[i].data());
    argv.push_back(nullptr);
    for (std::size_t i = argumentCount; i < storage.size(); ++i) envp.push_back(storage[i].data());
    envp.push_back(nullptr);
  }
};

[[noreturn]] void failInChild(int reportFd) {
  int code = errno;
  ssize_t ignored = ::write(reportFd, &code, sizeof code);
  (void)ignored;
  ::_exit(127);
}

// Runs in the child between fork and exec.
[[noreturn]] void becomeChild(const ChildProcess::Launch& launch, const ExecArguments& exec,
                              const int targets[3], int reportFd) {
  // The program's own signal handling must not leak into the child: a blocked or ignored SIGPIPE
  // or SIGTERM would survive exec and make the child deaf to our stop request.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD}) {
    ::sigaction(signal, &standard, nullptr);
  }

  // A session (and so a process group) of its own: stopping the group reaches everything the
  // child starts, and the child never reads from the terminal this program runs in.
  if (::setsid() < 0) failInChild(reportFd);
  if (launch.terminal >= 0 && ::ioctl(launch.terminal, TIOCSCTTY, 0) != 0) failInChild(reportFd);

  for (int stream = 0; stream < 3; ++stream) {
    if (targets[stream] == stream) {
      int flags = ::fcntl(stream, F_GETFD);
      if (flags < 0 || ::fcntl(stream, F_SETFD, flags & ~FD_CLOEXEC) != 0) failInChild(reportFd);
    } else if (::dup2(targets[stream], stream) < 0) {
      failInChild(reportFd);
    }
  }
  // Descriptors other code in this program opened without close-on-exec stay here too.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  if (launch.workingDirectory && ::chdir(launch.workingDirectory->c_str()) != 0) {
    failInChild(reportFd);
  }
  ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
  failInChild(reportFd);
}

// Every child started and not yet reaped, so an ending program can stop the ones a thread it
// does not wait for still holds. Never destroyed: such a thread may reap its child while the
// program ends.
struct LiveChildren {
  std::mutex mutex;
  std::set<pid_t> pids;
  bool refusing = false;
};

LiveChildren& liveChildren() {
  static auto* instance = new LiveChildren;
  return *instance;
}

void forgetChild(pid_t pid) {
  std::lock_guard guard(liveChildren().mutex);
  liveChildren().pids.erase(pid);
}

std::string describe(int code) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("error ") + std::to_string(code);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::start(const Launch& launch, std::string* error) {
  auto fail = [&](int code) -> std::optional<ChildProcess> {
    if (error) *error = describe(code);
    return std::nullopt;
  };
  if (launch.executable.empty()) return fail(ENOENT);
  {
    std::lock_guard guard(liveChildren().mutex);
    if (liveChildren().refusing) return fail(ECANCELED);
  }

  Pipe streams[3];
  int targets[3] = {-1, -1, -1};
  int nullDevice = -1;
  Stream kinds[3] = {launch.input, launch.output, launch.error};
  for (int stream = 0; stream < 3; ++stream) {
    switch (kinds[stream]) {
      case Stream::pipe:
        if (!streams[stream].open()) return fail(errno);
        targets[stream] = stream == 0 ? streams[stream].read : streams[stream].write;
        break;
      case Stream::nullDevice:
        if (nullDevice < 0) {
          nullDevice = ::open("/dev/null", O_RDWR | O_CLOEXEC);
          if (nullDevice < 0) return fail(errno);
        }
        targets[stream] = nullDevice;
        break;
      case Stream::terminal:
        if (launch.terminal < 0) {
          if (nullDevice >= 0) ::close(nullDevice);
          return fail(EBADF);
        }
        targets[stream] = launch.terminal;
        break;
    }
  }

  Pipe report;
  if (!report.open()) {
    int code = errno;
    if (nullDevice >= 0) ::close(nullDevice);
    return fail(code);
  }
  ExecArguments exec(launch);

  pid_t pid = ::fork();
  if (pid == 0) {
    becomeChild(launch, exec, targets, report.write);
  }
  int forkError = errno;
  if (nullDevice >= 0) ::close(nullDevice);
  closeQuietly(report.write);
  if (pid < 0) return fail(forkError);

  ChildProcess child;
  child.pid_ = pid;
  child.reaped_ = false;
  bool refused;
  {
    std::lock_guard guard(liveChildren().mutex);
    refused = liveChildren().refusing;
    if (!refused) liveChildren().pids.insert(pid);
  }
  // stopAll ran while this one was being started: it is not let loose.
  if (refused) {
    child.terminate(0);
    return fail(ECANCELED);
  }
  // The report pipe closes on a successful exec; otherwise it carries the errno of the failure.
  int code = 0;
  ssize_t got;
  do {
    got = ::read(report.read, &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  if (got == static_cast<ssize_t>(sizeof code)) {
    child.terminate(0);
    return fail(code);
  }

  if (launch.input == Stream::pipe) std::swap(child.input_, streams[0].write);
  if (launch.output == Stream::pipe) std::swap(child.output_, streams[1].read);
  if (launch.error == Stream::pipe) std::swap(child.error_, streams[2].read);
  for (int fd : {child.input_, child.output_, child.error_}) {
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
  *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    release();
    pid_ = std::exchange(other.pid_, -1);
    input_ = std::exchange(other.input_, -1);
    output_ = std::exchange(other.output_, -1);
    error_ = std::exchange(other.error_, -1);
    reaped_ = std::exchange(other.reaped_, true);
    exitStatus_ = std::exchange(other.exitStatus_, std::nullopt);
  }
  return *this;
}

ChildProcess::~ChildProcess() {
  release();
}

void ChildProcess::release() {
  closeInput();
  closeOutput();
  closeQuietly(error_);
  if (!reaped_) terminate(0);
}

void ChildProcess::closeInput() {
  closeQuietly(input_);
}
void ChildProcess::closeOutput() {
  closeQuietly(output_);
}

bool ChildProcess::writeInput(std::string_view bytes) {
  if (input_ < 0) return false;
  // A child that has stopped reading raises SIGPIPE, which would end this whole program. Block it
  // on this thread for the write and take back the one our write caused, if it did.
  sigset_t pipeSignal, previousMask;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);

  bool written = true;
  bool brokenPipe = false;
  auto deadline = SteadyClock::now() + std::chrono::seconds(5);
  while (!bytes.empty()) {
    ssize_t count = ::write(input_, bytes.data(), bytes.size());
    if (count > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno == EAGAIN) {
      // A child that does not read its input must not hold us forever.
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) {
        written = false;
        break;
      }
      pollfd wait{input_, POLLOUT, 0};
      ::poll(&wait, 1, static_cast<int>(left.count()));
      continue;
    }
    brokenPipe = count < 0 && errno == EPIPE;
    written = false;
    break;
  }

  if (brokenPipe && !alreadyPending) {
    timespec immediately{0, 0};
    while (::sigtimedwait(&pipeSignal, nullptr, &immediately) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return written;
}

void ChildProcess::reap(int status) {
  reaped_ = true;
  forgetChild(pid_);
  if (WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
}

void ChildProcess::waitAndReap() {
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, 0);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) return reap(status);
  reaped_ = true;
  forgetChild(pid_);
}

void ChildProcess::stopAll(double grace) {
  std::set<pid_t> running;
  {
    std::lock_guard guard(liveChildren().mutex);
    liveChildren().refusing = true;
    running = liveChildren().pids;
  }
  for (pid_t pid : running) ::kill(-pid, SIGTERM);
  // Exited children are only looked at (WNOWAIT): while one is a zombie its group id cannot be
  // reused, so the SIGKILL below reaches only what is left of its own group.
  auto deadline = deadlineAfter(grace);
  for (;;) {
    bool anyRunning = false;
    for (pid_t pid : running) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == 0) {
        anyRunning = true;
      }
    }
    if (!anyRunning || SteadyClock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (pid_t pid : running) {
    ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    forgetChild(pid);
  }
}

bool ChildProcess::isRunning() {
  if (reaped_) return false;
  // Look without reaping first: while the child is a zombie its group id cannot be reused, so the
  // rest of its group can still be stopped safely.
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno == EINTR) return true;
    // Not our child any more (ECHILD, or stopAll reaped it): nothing left to wait for.
    reaped_ = true;
    forgetChild(pid_);
    return false;
  }
  if (info.si_pid == 0) return true;
  ::kill(-pid_, SIGKILL);
  waitAndReap();
  return false;
}

bool ChildProcess::waitForExit(double seconds) {
  auto deadline = SteadyClock::now() + std::chrono::duration<double>(seconds > 0 ? seconds : 0);
  while (isRunning()) {
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ChildProcess::terminate(double grace) {
  if (reaped_) return;
  if (!isRunning()) return;
  ::kill(-pid_, SIGTERM);
  // A child that ignores the request is killed after the grace; either way it is reaped here.
  if (grace > 0 && waitForExit(grace)) return;
  ::kill(-pid_, SIGKILL);
  waitAndReap();
}

SteadyClock::time_point ChildProcess::deadlineAfter(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  seconds = std::min(seconds, 86400.0);
  return SteadyClock::now() +
         std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

ChildProcess::OutputEnd ChildProcess::readOutput(
    SteadyClock::time_point deadline, const std::function<bool(std::string_view chunk)>& consume) {
  char chunk[65536];
  while (SteadyClock::now() < deadline) {
    pollfd wait{output_, POLLIN, 0};
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    // Short slices: a grandchild may hold the pipe open after the child itself has gone.
    int ready = ::poll(&wait, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 100)));
    if (ready < 0 && errno != EINTR) return OutputEnd::failed;
    if (ready <= 0) {
      if (!isRunning()) return OutputEnd::endOfStream;
      continue;
    }
    ssize_t count = ::read(output_, chunk, sizeof chunk);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return OutputEnd::failed;
    }
    if (count == 0) return OutputEnd::endOfStream;
    if (!consume(std::string_view(chunk, static_cast<std::size_t>(count)))) {
      return OutputEnd::stopped;
    }
  }
  return OutputEnd::deadline;
}

}  // namespace meterwright
