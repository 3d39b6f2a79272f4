#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

namespace meterwright {

// What a finished short-lived child left behind.
struct ProcessRunResult {
  std::string standardOutput;
  // The exit code of a child that exited; absent when a signal ended it (including ours).
  std::optional<int> exitStatus;
  // The child was still running at the deadline and was stopped.
  bool timedOut = false;
  // The child wrote more than the limit; the excess was read and dropped.
  bool outputTruncated = false;

  bool operator==(const ProcessRunResult&) const = default;
};

// Runs `executable` with `arguments` (argv[0] is the executable) and `environment`, standard input
// from /dev/null, standard error discarded, and collects standard output up to `outputLimit` bytes
// until the child exits or `timeoutSeconds` pass. A child still running then is asked to stop
// (SIGTERM), given `terminationGrace` seconds and killed. The child is always reaped before this
// returns. Nothing when the launch fails.
std::optional<ProcessRunResult> runCollectingOutput(const std::string& executable,
                                                    const std::vector<std::string>& arguments,
                                                    const EnvironmentBlock& environment,
                                                    double timeoutSeconds, double terminationGrace,
                                                    std::size_t outputLimit);

}  // namespace meterwright
