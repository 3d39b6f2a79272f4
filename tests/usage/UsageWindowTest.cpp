#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/usage/UsageWindow.h"

namespace meterwright {
namespace {

// 2025-03-01T09:30:00Z
const Date now = dateFromUnixSeconds(1'740'821'400);

UsageWindow window(int minutes, double used, std::optional<Date> resetsAt = std::nullopt,
                   std::optional<std::string> group = std::nullopt) {
  return UsageWindow{minutes, used, resetsAt, std::move(group)};
}

TEST(UsageWindow, IsSpentOnlyWhenLessThanHalfAPercentRemains) {
  EXPECT_NEAR(window(300, 99.6).remainingPercent(), 0.4, 1e-9);
  EXPECT_TRUE(window(300, 99.6).isSpent());
  EXPECT_NEAR(window(300, 99.4).remainingPercent(), 0.6, 1e-9);
  EXPECT_FALSE(window(300, 99.4).isSpent());
  EXPECT_FALSE(window(300, 0).isSpent());
}

TEST(UsageWindow, RemainingIsFlooredAtZeroButNotCappedAtHundred) {
  EXPECT_EQ(window(300, 120).remainingPercent(), 0);
  EXPECT_TRUE(window(300, 120).isSpent());
  EXPECT_DOUBLE_EQ(window(300, -5).remainingPercent(), 105);
  EXPECT_FALSE(window(300, -5).isSpent());
}

TEST(UsageWindow, LabelPrefersDaysThenHoursThenMinutes) {
  EXPECT_EQ(window(300, 0).label(), "5h");
  EXPECT_EQ(window(10080, 0).label(), "7d");
  EXPECT_EQ(window(90, 0).label(), "90m");
  EXPECT_EQ(window(1440, 0).label(), "1d");
  EXPECT_EQ(window(60, 0).label(), "1h");
  EXPECT_EQ(window(0, 0).label(), "0d");
}

TEST(UsageWindow, IdentityJoinsGroupAndMinutesWithAMiddleDot) {
  // U+00B7 in UTF-8.
  EXPECT_EQ(window(300, 0).identity(),
            "\xC2\xB7"
            "300");
  EXPECT_EQ(window(10080, 0, std::nullopt, "opus").identity(),
            "opus\xC2\xB7"
            "10080");
  EXPECT_NE(window(300, 0, std::nullopt, "a").identity(),
            window(300, 0, std::nullopt, "b").identity());
}

TEST(UsageWindow, ResetsInCountsDownAndGoesNegativeOncePassed) {
  EXPECT_EQ(window(300, 0).resetsIn(now), std::nullopt);
  EXPECT_EQ(window(300, 0, addingSeconds(now, 90)).resetsIn(now), 90.0);
  EXPECT_EQ(window(300, 0, addingSeconds(now, -30)).resetsIn(now), -30.0);
}

TEST(UsageWindow, HasRolledOverFromTheResetInstantOn) {
  EXPECT_FALSE(window(300, 0).hasRolledOver(now));
  EXPECT_FALSE(window(300, 0, addingSeconds(now, 1)).hasRolledOver(now));
  EXPECT_TRUE(window(300, 0, now).hasRolledOver(now));
  EXPECT_TRUE(window(300, 0, addingSeconds(now, -1)).hasRolledOver(now));
}

}  // namespace
}  // namespace meterwright
