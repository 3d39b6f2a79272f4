#include "desktop/power/SleepDiagnostics.h"

#include <memory>

#include "desktop/text/DesktopText.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/power/SleepSchedule.h"

namespace meterwright::SleepDiagnostics {

namespace {

constexpr double logindDeadline = 5;

}  // namespace

std::vector<Line> lines(const Facts& facts) {
  using desktop::L;
  std::vector<Line> result;
  if (facts.scheduledWake) {
    result.push_back({true, L("sleep.scheduledWake", "scheduled wake: %@", *facts.scheduledWake)});
  } else {
    result.push_back({false, L("sleep.noScheduledWake",
                               "no scheduled wake \u2014 a computer left asleep publishes nothing "
                               "until something wakes it (Setup Assistant)")});
  }

  bool neverSleeps =
      facts.sleepMasked ||
      (facts.suspend && (facts.suspend->canSuspend == "no" || facts.suspend->canSuspend == "na"));
  if (neverSleeps) {
    result.push_back({true, L("sleep.suspendOff",
                              "suspend is turned off on this computer (sleep targets masked or "
                              "not supported)")});
  } else if (!facts.suspend) {
    result.push_back({false, L("sleep.suspendUnknown",
                               "logind did not answer, so whether this computer suspends on its "
                               "own is unknown")});
  } else if (SuspendPolicy::suspends(facts.suspend->idleAction) ||
             SuspendPolicy::suspends(facts.suspend->lidAction)) {
    result.push_back({false, L("sleep.suspendsOnItsOwn",
                               "this computer suspends on its own (when idle: %1$@, lid closed: "
                               "%2$@) and takes no readings while asleep",
                               facts.suspend->idleAction, facts.suspend->lidAction)});
  } else {
    result.push_back({true, L("sleep.suspendsWhenTold",
                              "this computer suspends only when told to (when idle: %1$@, lid "
                              "closed: %2$@)",
                              facts.suspend->idleAction, facts.suspend->lidAction)});
  }

  if (neverSleeps) {
    result.push_back(
        {true, L("sleep.neverSleeps", "this computer does not sleep, so it is always publishing")});
  }
  return result;
}

Facts gather(SleepSchedule& schedule, const EnvironmentBlock& environment) {
  Facts facts;
  facts.scheduledWake = schedule.scheduledWake();
  facts.sleepMasked = schedule.sleepMasked();
  // Shared with the read, which may answer after this has given up waiting.
  auto answer = std::make_shared<std::optional<std::optional<SuspendPolicy>>>();
  SuspendPolicy::read(environment, logindDeadline,
                      [answer](std::optional<SuspendPolicy> policy) { *answer = policy; });
  // Each step of the read has its own deadline; this bounds the whole.
  MainLoopWait::until([&] { return answer->has_value(); }, logindDeadline * 3);
  if (*answer) facts.suspend = **answer;
  return facts;
}

}  // namespace meterwright::SleepDiagnostics
