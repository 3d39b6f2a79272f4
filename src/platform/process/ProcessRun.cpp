#include "platform/process/ProcessRun.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "platform/process/ChildProcess.h"

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;

int millisecondsUntil(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1'000'000));
}

}  // namespace

std::optional<ProcessRunResult> runCollectingOutput(const std::string& executable,
                                                    const std::vector<std::string>& arguments,
                                                    const EnvironmentBlock& environment,
                                                    double timeoutSeconds, double terminationGrace,
                                                    std::size_t outputLimit) {
  ChildProcess::Launch launch;
  launch.executable = executable;
  launch.arguments = arguments;
  launch.environment = environment;
  launch.output = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> child = ChildProcess::start(launch);
  if (!child) return std::nullopt;

  ProcessRunResult result;
  auto deadline = SteadyClock::now() +
                  std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(
                      std::isfinite(timeoutSeconds) ? std::clamp(timeoutSeconds, 0.0, 1e6) : 0.0));
  char buffer[16384];
  bool ended = false;
  while (!ended && SteadyClock::now() < deadline) {
    pollfd wait{child->outputFd(), POLLIN, 0};
    // Short slices: a grandchild may keep the pipe open after the child itself is gone.
    int ready = ::poll(&wait, 1, std::min(millisecondsUntil(deadline), 100));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) {
      if (!child->isRunning()) break;
      continue;
    }
    ssize_t count = ::read(child->outputFd(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    if (count == 0) {
      ended = true;
      break;
    }
    std::size_t room = outputLimit - std::min(outputLimit, result.standardOutput.size());
    std::size_t keep = std::min(room, static_cast<std::size_t>(count));
    result.standardOutput.append(buffer, keep);
    if (keep < static_cast<std::size_t>(count)) result.outputTruncated = true;
  }
  child->closeOutput();

  if (!child->waitForExit(millisecondsUntil(deadline) / 1000.0)) {
    result.timedOut = true;
    child->terminate(terminationGrace);
  }
  result.exitStatus = child->exitStatus();
  return result;
}

}  // namespace meterwright
