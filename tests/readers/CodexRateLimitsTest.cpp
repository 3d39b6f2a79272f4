#include <gtest/gtest.h>

#include <limits>

#include "core/readers/CodexRateLimits.h"

namespace meterwright {
namespace {

using json = nlohmann::json;

json windowJson(double used, int minutes) {
  return {{"usedPercent", used}, {"windowDurationMins", minutes}};
}

std::vector<int> minutesOf(const CodexRateLimits::Reading& reading) {
  std::vector<int> minutes;
  for (const auto& window : reading.windows) minutes.push_back(window.windowMinutes);
  return minutes;
}

TEST(CodexRateLimits, MainLimitWindowsAreUngroupedAndShortestFirst) {
  json result = {{"rateLimits",
                  {{"primary", {{"usedPercent", 80}, {"windowDurationMins", 10080}}},
                   {"secondary",
                    {{"usedPercent", 12.5}, {"windowDurationMins", 300}, {"resetsAt", 1700003600}}},
                   {"planType", "plus"}}}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  ASSERT_EQ(reading.windows.size(), 2u);
  EXPECT_EQ(reading.windows[0].windowMinutes, 300);
  EXPECT_DOUBLE_EQ(reading.windows[0].usedPercent, 12.5);
  EXPECT_EQ(reading.windows[0].resetsAt, dateFromUnixSeconds(1700003600));
  EXPECT_EQ(reading.windows[0].group, std::nullopt);
  EXPECT_EQ(reading.windows[1].windowMinutes, 10080);
  EXPECT_EQ(reading.windows[1].resetsAt, std::nullopt);
  EXPECT_EQ(reading.plan, "Plus");
}

TEST(CodexRateLimits, MembersAtTheTopLevelStandInForAMissingMainLimit) {
  json result = {{"primary", windowJson(5, 300)}, {"planType", "pro"}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  EXPECT_EQ(minutesOf(reading), std::vector<int>{300});
  EXPECT_EQ(reading.plan, "Pro");

  json notAnObject = {{"rateLimits", "soon"}, {"secondary", windowJson(1, 60)}};
  EXPECT_EQ(minutesOf(CodexRateLimits::read(notAnObject)), std::vector<int>{60});
}

TEST(CodexRateLimits, EntriesByLimitIdFollowInKeyOrderAndSkipTheMainLimit) {
  json result = {{"rateLimits", {{"limitId", "codex"}, {"primary", windowJson(10, 10080)}}},
                 {"rateLimitsByLimitId",
                  {{"b", {{"limitName", "GPT-5 Pro"}, {"primary", windowJson(1, 300)}}},
                   {"a", {{"primary", windowJson(2, 300)}, {"secondary", windowJson(3, 60)}}},
                   {"main", {{"limitId", "codex"}, {"primary", windowJson(99, 300)}}},
                   {"c", {{"limitId", "spark"}, {"primary", windowJson(4, 30)}}},
                   {"d", "not an entry"}}}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  ASSERT_EQ(reading.windows.size(), 5u);
  EXPECT_EQ(reading.windows[0].group, std::nullopt);
  EXPECT_EQ(reading.windows[0].windowMinutes, 10080);
  // Grouped windows keep the order they were built in, primary before secondary.
  EXPECT_EQ(reading.windows[1].group, "a");
  EXPECT_EQ(reading.windows[1].windowMinutes, 300);
  EXPECT_EQ(reading.windows[2].group, "a");
  EXPECT_EQ(reading.windows[2].windowMinutes, 60);
  EXPECT_EQ(reading.windows[3].group, "GPT-5 Pro");
  EXPECT_EQ(reading.windows[4].group, "spark");
}

TEST(CodexRateLimits, EntriesAreKeptWhenTheMainLimitHasNoId) {
  json result = {{"primary", windowJson(10, 300)},
                 {"rateLimitsByLimitId", {{"codex", {{"primary", windowJson(10, 300)}}}}}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  ASSERT_EQ(reading.windows.size(), 2u);
  EXPECT_EQ(reading.windows[1].group, "codex");
}

TEST(CodexRateLimits, UngroupedSortIsStableForEqualLengths) {
  json result = {{"primary", windowJson(70, 300)}, {"secondary", windowJson(20, 300)}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  ASSERT_EQ(reading.windows.size(), 2u);
  EXPECT_DOUBLE_EQ(reading.windows[0].usedPercent, 70);
  EXPECT_DOUBLE_EQ(reading.windows[1].usedPercent, 20);
}

TEST(CodexRateLimits, WindowNeedsANumericShareAndAWholeLength) {
  EXPECT_EQ(CodexRateLimits::window({{"usedPercent", 5}}, std::nullopt), std::nullopt);
  EXPECT_EQ(CodexRateLimits::window({{"windowDurationMins", 300}}, std::nullopt), std::nullopt);
  EXPECT_EQ(CodexRateLimits::window({{"usedPercent", "5"}, {"windowDurationMins", 300}}, "g"),
            std::nullopt);
  EXPECT_EQ(CodexRateLimits::window({{"usedPercent", 5}, {"windowDurationMins", 300.5}}, "g"),
            std::nullopt);
  EXPECT_EQ(CodexRateLimits::window({{"usedPercent", 5}, {"windowDurationMins", 1e12}}, "g"),
            std::nullopt);
  EXPECT_EQ(CodexRateLimits::window(json::array({5, 300}), std::nullopt), std::nullopt);

  auto kept = CodexRateLimits::window(
      {{"usedPercent", 130}, {"windowDurationMins", 300.0}, {"resetsAt", "tomorrow"}}, "g");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->windowMinutes, 300);
  // Shares outside 0–100 are kept as reported.
  EXPECT_DOUBLE_EQ(kept->usedPercent, 130);
  EXPECT_EQ(kept->resetsAt, std::nullopt);
  EXPECT_EQ(kept->group, "g");
}

TEST(CodexRateLimits, ExtremeNumbersAndOddTypesGiveNoWindowsOrClampedDates) {
  json result = {
      {"rateLimits",
       {{"limitId", 7},
        {"planType", json::array()},
        {"primary", {{"usedPercent", -1e308}, {"windowDurationMins", -5}, {"resetsAt", 1e300}}},
        {"secondary",
         {{"usedPercent", std::numeric_limits<std::uint64_t>::max()},
          {"windowDurationMins", std::numeric_limits<std::int64_t>::min()}}}}},
      {"rateLimitsByLimitId", {{"x", {{"limitId", 3}, {"limitName", false}}}}}};
  CodexRateLimits::Reading reading = CodexRateLimits::read(result);
  ASSERT_EQ(reading.windows.size(), 1u);
  EXPECT_EQ(reading.windows[0].windowMinutes, -5);
  ASSERT_TRUE(reading.windows[0].resetsAt);
  EXPECT_GT(*reading.windows[0].resetsAt, dateFromUnixSeconds(9e9));
  EXPECT_EQ(reading.plan, std::nullopt);

  for (const json& odd : {json(nullptr), json(2), json("x"), json::array({json::object()})}) {
    EXPECT_TRUE(CodexRateLimits::read(odd).windows.empty());
  }
}

}  // namespace
}  // namespace meterwright
