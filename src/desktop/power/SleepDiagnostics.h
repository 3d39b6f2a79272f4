#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"
#include "platform/power/SuspendPolicy.h"

namespace meterwright {

class SleepSchedule;

// The "while this computer sleeps" lines of the diagnostic report and the wake self-test: whether
// a daily wake is set, whether the machine suspends on its own, and whether it never sleeps.
namespace SleepDiagnostics {

struct Facts {
  std::optional<std::string> scheduledWake;
  // Nothing when logind did not answer.
  std::optional<SuspendPolicy> suspend;
  bool sleepMasked = false;

  bool operator==(const Facts&) const = default;
};

// One check: whether it is in order, and its text in the launch language.
struct Line {
  bool ok = false;
  std::string line;

  bool operator==(const Line&) const = default;
};

std::vector<Line> lines(const Facts& facts);

// Reads the facts, waiting on the thread-default main context for logind within a few seconds:
// for command-line jobs, never the application's main loop.
Facts gather(SleepSchedule& schedule, const EnvironmentBlock& environment);

}  // namespace SleepDiagnostics
}  // namespace meterwright
