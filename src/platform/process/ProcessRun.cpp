#include "platform/process/ProcessRun.h"

#include <algorithm>
#include <chrono>

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
  auto deadline = ChildProcess::deadlineAfter(timeoutSeconds);
  child->readOutput(deadline, [&result, outputLimit](std::string_view chunk) {
    std::size_t room = outputLimit - std::min(outputLimit, result.standardOutput.size());
    std::size_t keep = std::min(room, chunk.size());
    result.standardOutput.append(chunk.substr(0, keep));
    if (keep < chunk.size()) result.outputTruncated = true;
    return true;
  });
  child->closeOutput();

  if (!child->waitForExit(millisecondsUntil(deadline) / 1000.0)) {
    result.timedOut = true;
    child->terminate(terminationGrace);
  }
  result.exitStatus = child->exitStatus();
  return result;
}

}  // namespace meterwright
