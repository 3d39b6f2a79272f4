#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/usage/Snapshot.h"

namespace meterwright {
namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

UsageWindow window(int minutes, double used = 0, std::optional<Date> resetsAt = std::nullopt) {
  return UsageWindow{minutes, used, resetsAt, std::nullopt};
}

ProviderSnapshot provider(std::string state, const std::vector<int>& windowMinutes = {300},
                          std::optional<double> observedMinutesAgo = std::nullopt) {
  ProviderSnapshot result{"claude", "Claude", std::nullopt, std::move(state), std::nullopt, {}};
  for (int minutes : windowMinutes) result.windows.push_back(window(minutes, 10));
  if (observedMinutesAgo) result.observedAt = addingSeconds(now, -*observedMinutesAgo * 60);
  return result;
}

TEST(UsageWindow, IsSpentWhenLessThanHalfAPercentRemainsAndRemainingIsFlooredAtZero) {
  using Row = std::tuple<double, double, bool>;  // used, remaining, spent
  for (auto [used, remaining, spent] :
       {Row{99.6, 0.4, true}, Row{99.4, 0.6, false}, Row{0, 100, false}, Row{120, 0, true},
        Row{-5, 105, false}}) {
    EXPECT_NEAR(window(300, used).remainingPercent(), remaining, 1e-9) << used;
    EXPECT_EQ(window(300, used).isSpent(), spent) << used;
  }
}

TEST(UsageWindow, LabelPrefersDaysThenHoursThenMinutesAndIdentityJoinsGroupAndMinutes) {
  for (auto [minutes, label] :
       {std::pair{300, "5h"}, {10080, "7d"}, {90, "90m"}, {1440, "1d"}, {60, "1h"}, {0, "0d"}}) {
    EXPECT_EQ(window(minutes).label(), label) << minutes;
  }
  EXPECT_EQ(window(300).identity(), "\u00B7300");
  EXPECT_EQ((UsageWindow{10080, 0, {}, "opus"}).identity(), "opus\u00B710080");
}

TEST(UsageWindow, ResetsInCountsDownAndTheWindowRollsOverFromTheResetInstantOn) {
  EXPECT_FALSE(window(300).resetsIn(now) || window(300).hasRolledOver(now));
  for (double in : {90.0, 1.0, 0.0, -1.0, -30.0}) {
    EXPECT_EQ(window(300, 0, addingSeconds(now, in)).resetsIn(now), in);
    EXPECT_EQ(window(300, 0, addingSeconds(now, in)).hasRolledOver(now), in <= 0) << in;
  }
}

TEST(ProviderSnapshot, StateWordsCompareIgnoringCaseAndNoWindowsMeansNoData) {
  using Row = std::tuple<const char*, std::vector<int>, bool, bool, bool>;
  for (const auto& [state, windows, live, hasData, stale] :
       {Row{"live", {300}, true, true, false}, Row{"LIVE", {300}, true, true, false},
        Row{"live", {}, true, false, false}, Row{"unavailable", {300}, false, false, false},
        Row{"UNAVAILABLE", {300}, false, false, false}, Row{"cached", {300}, false, true, true},
        Row{"", {300}, false, true, true}, Row{"cached", {}, false, false, false}}) {
    ProviderSnapshot snapshot = provider(state, windows);
    SCOPED_TRACE(std::string(state) + (windows.empty() ? " without windows" : ""));
    EXPECT_EQ(snapshot.isLive(), live);
    EXPECT_EQ(snapshot.hasData(), hasData);
    EXPECT_EQ(snapshot.isStale(), stale);
    EXPECT_EQ(snapshot.isStale(10, now), stale);  // no observation time to judge by
  }
  Snapshot snapshot{now, {provider("live"), provider("cached")}, {}, "direct"};
  snapshot.providers[1].id = "CLAUDE";
  EXPECT_EQ(snapshot.provider("Claude"), &snapshot.providers[0]);
  EXPECT_EQ(snapshot.provider("codex"), nullptr);
}

TEST(ProviderSnapshot, StaleAfterATwentiethOfTheShortestWindowOrTheLimitWhateverTheState) {
  using Row = std::tuple<std::vector<int>, int, int>;  // window minutes, configured, limit
  for (const auto& [windows, configured, limit] :
       {Row{{300, 10080}, 10, 15}, Row{{10080, 300}, 10, 15}, Row{{10080}, 10, 504},
        Row{{30}, 10, 10}, Row{{}, 10, 10}, Row{{300}, 20, 20}, Row{{30}, 1, 2}, Row{{10}, 0, 1},
        Row{{29}, 0, 1}, Row{{0, 10080}, 10, 10}, Row{{-60, 10080}, 10, 10}}) {
    SCOPED_TRACE(::testing::PrintToString(windows) + " " + std::to_string(configured));
    EXPECT_EQ(provider("live", windows).staleAfterMinutes(configured), limit);
    EXPECT_FALSE(provider("cached", windows, limit).isStale(configured, now));
    EXPECT_TRUE(provider("live", windows, limit + 0.5).isStale(configured, now));
  }
  EXPECT_FALSE(provider("live", {300}, -60).isStale(10, now));
}

}  // namespace
}  // namespace meterwright
