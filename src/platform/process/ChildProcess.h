#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

namespace meterwright {

// One child process that this program started and must clean up after. The child runs in a
// process group of its own, so stopping it stops whatever it started too. Destroying the object
// stops a child that is still running and always reaps it: no zombie and no orphan outlives it.
class ChildProcess {
 public:
  // What the child's standard streams are connected to.
  enum class Stream {
    // A pipe this object keeps the other end of.
    pipe,
    nullDevice,
    // The terminal given in Launch::terminal (also the child's controlling terminal).
    terminal,
  };

  struct Launch {
    std::string executable;
    // argv[1…]; argv[0] is the executable.
    std::vector<std::string> arguments;
    EnvironmentBlock environment;
    // The parent's when absent.
    std::optional<std::filesystem::path> workingDirectory;
    Stream input = Stream::nullDevice;
    Stream output = Stream::nullDevice;
    Stream error = Stream::nullDevice;
    // The slave side of a pseudo-terminal, for Stream::terminal; the child also makes it its
    // controlling terminal in a session of its own.
    int terminal = -1;
  };

  // Nothing when the child could not be started (no such file, not executable…); `error` then
  // says why, in the system's words.
  static std::optional<ChildProcess> start(const Launch& launch, std::string* error = nullptr);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  // This side of the pipes; -1 for streams that are not pipes or have been closed.
  int inputFd() const { return input_; }
  int outputFd() const { return output_; }
  int errorFd() const { return error_; }
  void closeInput();
  void closeOutput();

  // Writes all of `bytes` to the child's standard input. False when the child no longer reads
  // (EPIPE, which never raises SIGPIPE here) or the input is closed.
  bool writeInput(std::string_view bytes);

  // The steady-clock instant `seconds` from now. NaN and negative values count as 0, and the wait
  // is held to a day so an absurd timeout cannot overflow the clock.
  static std::chrono::steady_clock::time_point deadlineAfter(double seconds);

  // How a readOutput call ended.
  enum class OutputEnd { endOfStream, deadline, stopped, failed };

  // Hands each chunk of standard output to `consume` as it arrives, until the stream ends, the
  // deadline passes, `consume` returns false (stopped) or reading fails. Output still open after
  // the child has gone (a grandchild holding the pipe) ends the wait too, as endOfStream.
  OutputEnd readOutput(std::chrono::steady_clock::time_point deadline,
                       const std::function<bool(std::string_view chunk)>& consume);

  // Whether the child is still running; reaps it when it has exited.
  bool isRunning();
  // Waits up to `seconds` for the child to exit; true once it has been reaped.
  bool waitForExit(double seconds);
  // SIGTERM to the group, up to `grace` seconds for the child to exit, then SIGKILL and reap.
  // Returns at once when the child has already been reaped.
  void terminate(double grace);

  // For a program that is ending: SIGTERM to the group of every child still running, up to
  // `grace` seconds for them to exit, then SIGKILL, and every one reaped here, whichever thread
  // owns it. From then on start() refuses (ECANCELED), so a reader still finishing its work
  // starts nothing new.
  static void stopAll(double grace);

  // The exit code once reaped and exited normally.
  std::optional<int> exitStatus() const { return exitStatus_; }
  // Whether it has been reaped (exited, by whatever cause).
  bool hasExited() const { return reaped_; }

 private:
  ChildProcess() = default;
  void release();
  void reap(int status);
  // Blocks until the child is reaped; stopAll may have reaped it on another thread.
  void waitAndReap();

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  bool reaped_ = true;
  std::optional<int> exitStatus_;
};

}  // namespace meterwright
