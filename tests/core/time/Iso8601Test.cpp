#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/time/Iso8601.h"

namespace meterwright {
namespace {

Date at(double unixSeconds) {
  return dateFromUnixSeconds(unixSeconds);
}

TEST(Iso8601, FormatsInUtcFlooringSubSecondsTowardsThePast) {
  const std::pair<double, const char*> cases[] = {{0, "1970-01-01T00:00:00Z"},
                                                  {1'740'821'400.999, "2025-03-01T09:30:00Z"},
                                                  {-0.5, "1969-12-31T23:59:59Z"},
                                                  {-86'400.25, "1969-12-30T23:59:59Z"},
                                                  {-2'208'988'800, "1900-01-01T00:00:00Z"},
                                                  {1'709'208'000, "2024-02-29T12:00:00Z"}};
  for (auto [seconds, text] : cases) EXPECT_EQ(Iso8601::format(at(seconds)), text) << seconds;
}

TEST(Iso8601, RoundTripsWholeSecondsIncludingPre1970AndLeapDays) {
  // 2000-02-29, 2024-02-29T23:59:59 and 2099-12-31T23:59:59 among them.
  for (double seconds :
       {0.0, -1.0, -86'400.0, -2'208'988'800.0, 951'825'600.0, 1'709'251'199.0, 4'102'444'799.0}) {
    EXPECT_EQ(Iso8601::parse(Iso8601::format(at(seconds))), at(seconds)) << seconds;
  }
}

TEST(Iso8601, AppliesOffsetsTowardsUtcAcrossTheDateLine) {
  const std::pair<const char*, double> cases[] = {{"2025-03-01T11:30:00+02:00", 1'740'821'400},
                                                  {"2025-03-01T04:00:00-05:30", 1'740'821'400},
                                                  {"2025-03-01T09:30:00+00:00", 1'740'821'400},
                                                  {"2025-01-01T01:00:00+02:00", 1'735'686'000},
                                                  {"2024-02-28T22:00:00-03:00", 1'709'168'400}};
  for (auto [text, seconds] : cases) EXPECT_EQ(Iso8601::parse(text), at(seconds)) << text;
}

TEST(Iso8601, RejectsAnythingButAWholeSecondInstantOfARealDayWithAZone) {
  const char* const texts[] = {
      "2025-03-01T09:30:00.000Z",  "2025-03-01T09:30:00.5+02:00", "2025-03-01T09:30:00",
      "2025-03-01T09:30:00z",      "2025-03-01T09:30:00+0200",    "2025-03-01T09:30:00+02",
      "2025-03-01T09:30:00+24:00", "2025-03-01T09:30:00+02:60",   "2025-03-01T09:30:00 Z",
      "2025-03-01T09:30:00ZZ",     "2025-03-01T09:30:00+02:00 ",  "2025-02-30T00:00:00Z",
      "2023-02-29T00:00:00Z",      "1900-02-29T00:00:00Z",        "2025-04-31T00:00:00Z",
      "2025-13-01T00:00:00Z",      "2025-00-01T00:00:00Z",        "2025-01-00T00:00:00Z",
      "2025-03-01T24:00:00Z",      "2025-03-01T23:60:00Z",        "2025-03-01T23:59:60Z",
      "2025-03-01 09:30:00Z",      "2025/03/01T09:30:00Z",        "25-03-01T09:30:00Z",
      "+2025-03-01T09:30:00Z",     " 2025-03-01T09:30:00Z",       "2025-3-01T09:30:00Z",
      "2025-03-01T9:30:00Z",       "2025-03-01T09:30:0xZ",        "2025-03-01t09:30:00Z",
  };
  for (const char* text : texts) EXPECT_FALSE(Iso8601::parse(text)) << text;
  for (const char* text : {"", "Z", "garbage", "2025-03-01", "1740821400"}) {
    EXPECT_FALSE(Iso8601::parse(text)) << text;
  }
}

TEST(Iso8601, InstantsADateCannotHoldDoNotParseButTheDistantPastIsYearOne) {
  EXPECT_EQ(Iso8601::parse("9999-12-31T23:59:59Z"), std::nullopt);
  EXPECT_EQ(Iso8601::parse("0001-01-01T00:00:01Z"), std::nullopt);
  EXPECT_EQ(Iso8601::parse("0001-01-01T01:00:00+01:00"), distantPast);
  EXPECT_EQ(Iso8601::parse("1600-06-01T00:00:00+00:00"), std::nullopt);
  auto late = Iso8601::parse("2262-01-01T00:00:00Z");
  ASSERT_TRUE(late);
  EXPECT_EQ(Iso8601::parse(Iso8601::format(*late)), late);
  // A reading without any time says "long ago", not the first day a Date happens to hold (1677).
  EXPECT_EQ(Iso8601::format(distantPast), "0001-01-01T00:00:00Z");
  EXPECT_EQ(Iso8601::parse("0001-01-01T00:00:00Z"), distantPast);
  EXPECT_EQ(Iso8601::format(distantPast + std::chrono::seconds(1)), "1677-09-21T00:12:44Z");
}

TEST(ClockArithmetic, NeitherOverflowsFarApartAndAddingSecondsSaturatesAndIgnoresNaN) {
  Date early = *Iso8601::parse("1700-01-01T00:00:00Z");
  Date late = *Iso8601::parse("2250-01-01T00:00:00Z");
  EXPECT_NEAR(secondsBetween(early, late), 17356291200.0, 1.0);
  EXPECT_NEAR(secondsBetween(late, early), -17356291200.0, 1.0);
  EXPECT_EQ(secondsBetween(late, late), 0.0);
  Date start = at(1'740'821'400);
  EXPECT_EQ(addingSeconds(start, 90.5) - start, std::chrono::milliseconds(90'500));
  EXPECT_EQ(addingSeconds(start, std::numeric_limits<double>::quiet_NaN()), start);
  EXPECT_GT(addingSeconds(start, 1e300), start);
  EXPECT_LT(addingSeconds(start, -1e300), start);
  EXPECT_EQ(addingSeconds(start, 1e300), addingSeconds(start, 1e20));
}

}  // namespace
}  // namespace meterwright
