#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/text/LocalizedModule.h"
#include "core/usage/UsageEventDetector.h"

namespace meterwright {
namespace {

const Date tenOClock = dateFromUnixSeconds(1'740'823'200);  // 2025-03-01T10:00:00Z
const Date threeOClock = addingSeconds(tenOClock, 5 * 3600);

using Low = SyncEvent::RunningLow;
using Out = SyncEvent::Exhausted;

Snapshot reading(std::vector<UsageWindow> windows, std::string state = "live") {
  return Snapshot{
      tenOClock, {{"claude", "Claude", "max", state, tenOClock, windows}}, {}, "direct"};
}

UsageWindow w(double usedPercent, std::optional<Date> resetsAt = std::nullopt) {
  return UsageWindow{300, usedPercent, resetsAt, {}};
}

SyncEvent low(int percent) {
  return {Low{"claude", "Claude", "5h", percent}};
}
const SyncEvent out{SyncEvent::Exhausted{"claude", "Claude", "5h"}};
SyncEvent reset(bool wasSpent) {
  return {SyncEvent::WindowReset{"claude", "Claude", "5h", wasSpent}};
}

struct WindowCase {
  const char* name;
  int threshold;
  std::optional<UsageWindow> before;
  UsageWindow now;
  std::vector<SyncEvent> expected;
};

TEST(UsageEventDetector, OneWindowTransitions) {
  const std::optional<UsageWindow> none;
  const Date ten = tenOClock, three = threeOClock;
  const std::vector<WindowCase> cases = {
      {"crossing the threshold", 20, w(75), w(85), {low(15)}},
      {"already below the threshold", 20, w(82), w(85), {}},
      {"exactly at the threshold counts as low", 20, w(79), w(80), {low(20)}},
      {"from exactly the threshold is no new crossing", 20, w(80), w(85), {}},
      {"straight from above the threshold to spent", 20, w(79), w(99.7), {low(0), out}},
      {"spent after having been low", 20, w(90), w(99.6), {out}},
      {"spent stays spent", 20, w(99.6), w(100), {}},
      {"an old value beyond 100 % counts as spent", 20, w(104), w(110), {}},
      {"just short of spent", 20, w(99.4), w(99.49), {}},
      {"first sight, low", 20, none, w(90), {low(10)}},
      {"first sight, spent", 20, none, w(99.8), {low(0), out}},
      {"first sight, beyond 100 % used", 20, none, w(120), {low(0), out}},
      {"first sight, comfortable", 20, none, w(50), {}},
      {"threshold 0 never warns but reports spent", 0, w(50), w(100), {out}},
      {"negative threshold never warns", -5, none, w(99), {}},
      {"remaining 14.5 rounds up", 20, w(50), w(85.5), {low(15)}},
      {"remaining 14.4 rounds down", 20, w(50), w(85.6), {low(14)}},
      {"back to untouched", 20, w(30), w(0), {reset(false)}},
      {"back to untouched from spent", 20, w(100), w(0), {reset(true)}},
      {"back to untouched from negative use is no reset", 20, w(-5), w(0), {}},
      {"a new cycle with less use", 20, w(60, ten), w(5, three), {reset(false)}},
      {"a new cycle from 99.6 % used was spent", 20, w(99.6, ten), w(95, three), {reset(true)}},
      {"less use with the reset time unchanged", 20, w(60, ten), w(5, ten), {}},
      {"less use with an earlier reset time", 20, w(60, three), w(5, ten), {}},
      {"a later reset time with more use", 20, w(5, ten), w(60, three), {}},
      {"a later reset time without an old one", 20, w(60), w(5, three), {}},
      // A reset excludes the low and spent checks of that window in the same pass.
      {"a new cycle that is already low", 20, w(99, ten), w(90, three), {reset(false)}},
  };
  for (const WindowCase& c : cases) {
    std::optional<Snapshot> previous;
    if (c.before) previous = reading({*c.before});
    EXPECT_EQ(UsageEventDetector{c.threshold}.events(previous, reading({c.now})), c.expected)
        << c.name;
  }
}

TEST(UsageEventDetector, WindowsAreMatchedByLengthAloneAndInOrder) {
  Snapshot previous =
      reading({UsageWindow{10080, 70, {}, "opus"}, UsageWindow{10080, 95, {}, {}}, w(50)});
  Snapshot current =
      reading({w(100), UsageWindow{10080, 85, {}, "sonnet"}, UsageWindow{1440, 99, {}, {}}});
  std::vector<SyncEvent> expected = {
      low(0), out, {Low{"claude", "Claude", "7d", 15}}, {Low{"claude", "Claude", "1d", 1}}};
  EXPECT_EQ(UsageEventDetector{20}.events(previous, current), expected);
}

TEST(UsageEventDetector, ProvidersAreMatchedIgnoringCaseAndWalkedInTheCurrentOrder) {
  auto provider = [](const char* id, const char* name, UsageWindow window) {
    return ProviderSnapshot{id, name, {}, "live", {}, {window}};
  };
  const UsageWindow week{10080, 50, {}, {}}, weekSpent{10080, 100, {}, {}};
  Snapshot previous{tenOClock,
                    {provider("CODEX", "Codex", week), provider("Claude", "Claude", w(50)),
                     provider("glm", "GLM", w(10))},  // glm vanishes: nothing is said about it
                    {},
                    "direct"};
  Snapshot current{tenOClock,
                   {provider("claude", "Claude", w(85)), provider("codex", "Codex", weekSpent)},
                   {},
                   "direct"};
  std::vector<SyncEvent> expected = {
      low(15), {Low{"codex", "Codex", "7d", 0}}, {Out{"codex", "Codex", "7d"}}};
  EXPECT_EQ(UsageEventDetector{20}.events(previous, current), expected);
}

TEST(UsageEventDetector, AProviderThatStopsReportingGoesOfflineOnce) {
  const SyncEvent offline{
      SyncEvent::ProviderOffline{"claude", "Claude", "It has not answered since the last check."}};
  UsageEventDetector detector{20};

  EXPECT_EQ(detector.events(reading({w(50)}), reading({}, "unavailable")),
            std::vector<SyncEvent>{offline});
  EXPECT_EQ(detector.events(reading({w(50)}), reading({})), std::vector<SyncEvent>{offline});
  EXPECT_EQ(detector.events(reading({w(50)}, "stale"), reading({}, "UNAVAILABLE")),
            std::vector<SyncEvent>{offline});
  // Windows kept under "unavailable" still count as no data, and their loop still runs.
  EXPECT_EQ(detector.events(reading({w(50)}), reading({w(90)}, "Unavailable")),
            (std::vector<SyncEvent>{offline, low(10)}));

  EXPECT_EQ(detector.events(reading({w(50)}, "unavailable"), reading({}, "unavailable")),
            std::vector<SyncEvent>{});
  EXPECT_EQ(detector.events(reading({}), reading({})), std::vector<SyncEvent>{});
  EXPECT_EQ(detector.events(std::nullopt, reading({}, "unavailable")), std::vector<SyncEvent>{});
  coreText().choose({{"de"}});  // the reason is never translated
  auto translated = detector.events(reading({w(50)}), reading({}));
  coreText().choose(std::nullopt);
  EXPECT_EQ(translated, std::vector<SyncEvent>{offline});
}

}  // namespace
}  // namespace meterwright
