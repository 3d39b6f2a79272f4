#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/settings/EnvironmentBlock.h"

namespace meterwright {

// What logind says about suspending on its own: the actions for an idle session and a closed
// lid, and whether suspend is possible at all.
struct SuspendPolicy {
  // IdleAction and HandleLidSwitch: "ignore", "lock", "suspend", "hibernate", …
  std::string idleAction;
  std::string lidAction;
  // CanSuspend(): "yes", "no", "na" or "challenge".
  std::string canSuspend;

  bool operator==(const SuspendPolicy&) const = default;

  // Whether `action` puts the machine to sleep.
  static bool suspends(const std::string& action);

  // Asks logind on the system bus, asynchronously on the thread-default main context; `done`
  // gets the policy, or nothing when logind is absent or does not answer within the deadline.
  static void read(const EnvironmentBlock& environment, double deadlineSeconds,
                   std::function<void(std::optional<SuspendPolicy>)> done);
};

}  // namespace meterwright
