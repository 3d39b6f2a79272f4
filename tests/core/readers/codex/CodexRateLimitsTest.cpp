#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "core/readers/codex/CodexRateLimits.h"

namespace meterwright {
namespace {

using json = nlohmann::json;

json windowJson(double used, int minutes) {
  return {{"usedPercent", used}, {"windowDurationMins", minutes}};
}

// "group/minutes/used" per window, in order.
std::vector<std::string> described(const json& result) {
  std::vector<std::string> lines;
  for (const auto& each : CodexRateLimits::read(result).windows) {
    std::ostringstream line;
    line << each.group.value_or("-") << "/" << each.windowMinutes << "/" << each.usedPercent;
    lines.push_back(line.str());
  }
  return lines;
}

TEST(CodexRateLimits, MainWindowsUngroupedShortestFirstThenEntriesByLimitIdInKeyOrder) {
  json main = {{"rateLimits",
                {{"primary", windowJson(80, 10080)},
                 {"secondary",
                  {{"usedPercent", 12.5}, {"windowDurationMins", 300}, {"resetsAt", 1700003600}}},
                 {"planType", "plus"}}}};
  auto reading = CodexRateLimits::read(main);
  EXPECT_EQ(described(main), (std::vector<std::string>{"-/300/12.5", "-/10080/80"}));
  EXPECT_EQ(reading.windows[0].resetsAt, dateFromUnixSeconds(1700003600));
  EXPECT_EQ(reading.windows[1].resetsAt, std::nullopt);
  EXPECT_EQ(reading.plan, "Plus");

  json byId = {{"rateLimits", {{"limitId", "codex"}, {"primary", windowJson(10, 10080)}}},
               {"rateLimitsByLimitId",
                {{"b", {{"limitName", "GPT-5 Pro"}, {"primary", windowJson(1, 300)}}},
                 {"a", {{"primary", windowJson(2, 300)}, {"secondary", windowJson(3, 60)}}},
                 {"main", {{"limitId", "codex"}, {"primary", windowJson(99, 300)}}},
                 {"c", {{"limitId", "spark"}, {"primary", windowJson(4, 30)}}},
                 {"d", "not an entry"}}}};
  // Grouped windows keep the order they were built in, primary before secondary.
  EXPECT_EQ(described(byId), (std::vector<std::string>{"-/10080/10", "a/300/2", "a/60/3",
                                                       "GPT-5 Pro/300/1", "spark/30/4"}));
}

TEST(CodexRateLimits, TopLevelMembersStandInForAMissingMainLimit) {
  json topLevel = {{"primary", windowJson(5, 300)}, {"planType", "pro"}};
  EXPECT_EQ(described(topLevel), std::vector<std::string>{"-/300/5"});
  EXPECT_EQ(CodexRateLimits::read(topLevel).plan, "Pro");
  json notAnObject = {{"rateLimits", "soon"}, {"secondary", windowJson(1, 60)}};
  EXPECT_EQ(described(notAnObject), std::vector<std::string>{"-/60/1"});
  // Without a main id, no entry counts as the main limit; equal lengths keep their order.
  json noId = {{"primary", windowJson(70, 300)},
               {"secondary", windowJson(20, 300)},
               {"rateLimitsByLimitId", {{"codex", {{"primary", windowJson(10, 300)}}}}}};
  EXPECT_EQ(described(noId), (std::vector<std::string>{"-/300/70", "-/300/20", "codex/300/10"}));
}

TEST(CodexRateLimits, WindowNeedsANumericShareAndAWholeLength) {
  for (const json& bad :
       {json{{"usedPercent", 5}}, json{{"windowDurationMins", 300}},
        json{{"usedPercent", "5"}, {"windowDurationMins", 300}},
        json{{"usedPercent", 5}, {"windowDurationMins", 300.5}},
        json{{"usedPercent", 5}, {"windowDurationMins", 1e12}}, json::array({5, 300})}) {
    EXPECT_EQ(CodexRateLimits::window(bad, "g"), std::nullopt) << bad.dump();
  }
  // Shares outside 0–100 are kept; an unreadable reset time is dropped.
  EXPECT_EQ(
      CodexRateLimits::window(
          {{"usedPercent", 130}, {"windowDurationMins", 300.0}, {"resetsAt", "tomorrow"}}, "g"),
      (UsageWindow{300, 130, std::nullopt, "g"}));
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
  EXPECT_GT(reading.windows[0].resetsAt.value_or(Date{}), dateFromUnixSeconds(9e9));
  EXPECT_EQ(reading.plan, std::nullopt);
  for (const json& odd : {json(nullptr), json(2), json("x"), json::array({json::object()})}) {
    EXPECT_TRUE(CodexRateLimits::read(odd).windows.empty());
  }
}

}  // namespace
}  // namespace meterwright
