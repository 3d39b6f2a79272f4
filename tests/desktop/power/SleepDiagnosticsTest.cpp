#include <gtest/gtest.h>

#include "desktop/power/SleepDiagnostics.h"

namespace meterwright {
namespace {

using SleepDiagnostics::Facts;
using SleepDiagnostics::Line;

TEST(SleepDiagnostics, LinesFollowTheWakeAndWhetherTheMachineSuspends) {
  const SuspendPolicy lidOnly{"ignore", "suspend", "yes"};
  const SuspendPolicy neither{"lock", "ignore", "yes"};
  const SuspendPolicy unsupported{"suspend", "suspend", "na"};
  const Line noWake{false,
                    "no scheduled wake \u2014 a computer left asleep publishes nothing until "
                    "something wakes it (Setup Assistant)"};
  const Line off{true,
                 "suspend is turned off on this computer (sleep targets masked or not supported)"};
  const Line always{true, "this computer does not sleep, so it is always publishing"};
  struct Case {
    const char* name;
    Facts facts;
    std::vector<Line> expected;
  };
  const Case cases[] = {
      {"wake set, lid suspends",
       {"Thu 2026-12-10 08:00:00 UTC", lidOnly, false},
       {{true, "scheduled wake: Thu 2026-12-10 08:00:00 UTC"},
        {false,
         "this computer suspends on its own (when idle: ignore, lid closed: suspend) and takes "
         "no readings while asleep"}}},
      {"suspends only when told",
       {std::nullopt, neither, false},
       {noWake,
        {true,
         "this computer suspends only when told to (when idle: lock, lid closed: "
         "ignore)"}}},
      {"sleep targets masked", {std::nullopt, lidOnly, true}, {noWake, off, always}},
      {"suspend not supported", {std::nullopt, unsupported, false}, {noWake, off, always}},
      {"logind silent",
       {std::nullopt, std::nullopt, false},
       {noWake,
        {false, "logind did not answer, so whether this computer suspends on its own is unknown"}}},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(SleepDiagnostics::lines(test.facts), test.expected) << test.name;
  }
}

}  // namespace
}  // namespace meterwright
