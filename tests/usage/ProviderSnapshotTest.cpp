#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "core/usage/ProviderSnapshot.h"
#include "core/usage/Snapshot.h"

namespace meterwright {
namespace {

// 2025-03-01T09:30:00Z
const Date now = dateFromUnixSeconds(1'740'821'400);

ProviderSnapshot provider(std::string state, std::initializer_list<int> windowMinutes,
                          std::optional<Date> observedAt = std::nullopt) {
  ProviderSnapshot result{"claude", "Claude", std::nullopt, std::move(state), observedAt, {}};
  for (int minutes : windowMinutes) result.windows.push_back(UsageWindow{minutes, 10, {}, {}});
  return result;
}

TEST(ProviderSnapshot, StateWordsCompareIgnoringCase) {
  for (const char* live : {"live", "LIVE", "Live"}) {
    SCOPED_TRACE(live);
    EXPECT_TRUE(provider(live, {300}).isLive());
    EXPECT_TRUE(provider(live, {300}).hasData());
    EXPECT_FALSE(provider(live, {300}).isStale());
  }
  for (const char* unavailable : {"unavailable", "Unavailable", "UNAVAILABLE"}) {
    SCOPED_TRACE(unavailable);
    EXPECT_FALSE(provider(unavailable, {300}).hasData());
    EXPECT_FALSE(provider(unavailable, {300}).isStale());
  }
  for (const char* other : {"cached", "Stale", "ERROR", ""}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(provider(other, {300}).isLive());
    EXPECT_TRUE(provider(other, {300}).hasData());
    EXPECT_TRUE(provider(other, {300}).isStale());
  }
}

TEST(ProviderSnapshot, WithoutWindowsThereIsNoDataWhateverTheState) {
  EXPECT_TRUE(provider("live", {}).isLive());
  EXPECT_FALSE(provider("live", {}).hasData());
  EXPECT_FALSE(provider("cached", {}).hasData());
  EXPECT_FALSE(provider("cached", {}).isStale());
}

TEST(ProviderSnapshot, StaleAfterMinutesRaisesTheConfiguredLimitToATwentiethOfTheShortestWindow) {
  EXPECT_EQ(provider("live", {300, 10080}).staleAfterMinutes(10), 15);
  EXPECT_EQ(provider("live", {10080, 300}).staleAfterMinutes(10), 15);
  EXPECT_EQ(provider("live", {10080}).staleAfterMinutes(10), 504);
  EXPECT_EQ(provider("live", {30}).staleAfterMinutes(10), 10);
  EXPECT_EQ(provider("live", {}).staleAfterMinutes(10), 10);
  EXPECT_EQ(provider("live", {300}).staleAfterMinutes(20), 20);
}

TEST(ProviderSnapshot, StaleAfterMinutesRoundsHalfAwayFromZero) {
  EXPECT_EQ(provider("live", {30}).staleAfterMinutes(1), 2);  // 1.5
  EXPECT_EQ(provider("live", {10}).staleAfterMinutes(0), 1);  // 0.5
  EXPECT_EQ(provider("live", {29}).staleAfterMinutes(0), 1);  // 1.45
}

TEST(ProviderSnapshot, StaleAfterMinutesIgnoresAShortestWindowBelowOneMinute) {
  EXPECT_EQ(provider("live", {0, 10080}).staleAfterMinutes(10), 10);
  EXPECT_EQ(provider("live", {-60, 10080}).staleAfterMinutes(10), 10);
}

TEST(ProviderSnapshot, IsStaleComparesTheObservationAgeStrictlyWithTheLimit) {
  auto observedAgo = [](double minutes) {
    return provider("live", {300, 10080}, addingSeconds(now, -minutes * 60));
  };
  EXPECT_FALSE(observedAgo(15).isStale(10, now));
  EXPECT_TRUE(observedAgo(15.5).isStale(10, now));
  EXPECT_FALSE(observedAgo(-60).isStale(10, now));
  EXPECT_TRUE(observedAgo(25).isStale(20, now));
}

TEST(ProviderSnapshot, IsStaleWithAnObservationIgnoresTheStateWord) {
  Date recently = addingSeconds(now, -60);
  Date longAgo = addingSeconds(now, -3600);
  EXPECT_FALSE(provider("cached", {300}, recently).isStale(10, now));
  EXPECT_TRUE(provider("live", {300}, longAgo).isStale(10, now));
}

TEST(ProviderSnapshot, IsStaleWithoutAnObservationFallsBackToTheStateWord) {
  EXPECT_FALSE(provider("live", {300}).isStale(10, now));
  EXPECT_TRUE(provider("cached", {300}).isStale(10, now));
  EXPECT_FALSE(provider("unavailable", {300}).isStale(10, now));
  EXPECT_FALSE(provider("cached", {}).isStale(10, now));
}

TEST(ProviderSnapshotLookup, SnapshotFindsTheFirstProviderWhoseIdMatchesIgnoringCase) {
  Snapshot snapshot{now, {provider("live", {300}), provider("cached", {300})}, {}, "direct"};
  snapshot.providers[0].id = "Claude";
  snapshot.providers[1].id = "claude";
  snapshot.providers.push_back(provider("live", {10080}));
  snapshot.providers[2].id = "codex";

  ASSERT_NE(snapshot.provider("CLAUDE"), nullptr);
  EXPECT_EQ(snapshot.provider("CLAUDE"), &snapshot.providers[0]);
  EXPECT_EQ(snapshot.provider("Codex"), &snapshot.providers[2]);
  EXPECT_EQ(snapshot.provider("glm"), nullptr);
  EXPECT_EQ(snapshot.provider(""), nullptr);
}

}  // namespace
}  // namespace meterwright
