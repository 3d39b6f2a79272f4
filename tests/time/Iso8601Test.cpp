#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/time/Iso8601.h"

namespace meterwright {
namespace {

Date at(double unixSeconds) {
  return dateFromUnixSeconds(unixSeconds);
}

TEST(Iso8601, FormatsWholeSecondInstantsInUtc) {
  EXPECT_EQ(Iso8601::format(at(0)), "1970-01-01T00:00:00Z");
  EXPECT_EQ(Iso8601::format(at(1'740'821'400)), "2025-03-01T09:30:00Z");
  EXPECT_EQ(Iso8601::format(at(-1)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(Iso8601::format(at(-2'208'988'800)), "1900-01-01T00:00:00Z");
  EXPECT_EQ(Iso8601::format(at(1'709'208'000)), "2024-02-29T12:00:00Z");
}

TEST(Iso8601, RoundTripsWholeSecondInstantsIncludingPre1970AndLeapDays) {
  for (double seconds : {0.0, -1.0, -86'400.0, -2'208'988'800.0, 951'825'600.0 /* 2000-02-29 */,
                         1'709'251'199.0 /* 2024-02-29T23:59:59 */, 1'740'821'400.0,
                         4'102'444'799.0 /* 2099-12-31T23:59:59 */}) {
    std::string text = Iso8601::format(at(seconds));
    auto parsed = Iso8601::parse(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, at(seconds)) << text;
  }
}

TEST(Iso8601, FormatFloorsSubSecondInstants) {
  EXPECT_EQ(Iso8601::format(at(1'740'821'400.999)), "2025-03-01T09:30:00Z");
  EXPECT_EQ(Iso8601::format(at(0.5)), "1970-01-01T00:00:00Z");
}

TEST(Iso8601, FormatFloorsSubSecondInstantsBefore1970TowardsThePast) {
  EXPECT_EQ(Iso8601::format(at(-0.5)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(Iso8601::format(at(-86'400.25)), "1969-12-30T23:59:59Z");
}

TEST(Iso8601, AppliesPositiveAndNegativeOffsetsTowardsUtc) {
  // Local 11:30 two hours east of Greenwich is 09:30 UTC; 04:00 five and a half hours west is too.
  EXPECT_EQ(Iso8601::parse("2025-03-01T11:30:00+02:00"), at(1'740'821'400));
  EXPECT_EQ(Iso8601::parse("2025-03-01T04:00:00-05:30"), at(1'740'821'400));
  EXPECT_EQ(Iso8601::parse("2025-03-01T09:30:00+00:00"), at(1'740'821'400));
}

TEST(Iso8601, OffsetsCarryAcrossTheDateLine) {
  EXPECT_EQ(Iso8601::parse("2025-01-01T01:00:00+02:00"), Iso8601::parse("2024-12-31T23:00:00Z"));
  EXPECT_EQ(Iso8601::parse("2024-02-28T22:00:00-03:00"), Iso8601::parse("2024-02-29T01:00:00Z"));
}

TEST(Iso8601, RejectsFractionalSeconds) {
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00.000Z"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00.5+02:00"));
}

TEST(Iso8601, RejectsAMissingOrMalformedZone) {
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00z"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00+0200"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00+02"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00+24:00"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00+02:60"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00 Z"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00ZZ"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T09:30:00+02:00 "));
}

TEST(Iso8601, RejectsDaysThatDoNotExist) {
  EXPECT_FALSE(Iso8601::parse("2025-02-30T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2023-02-29T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("1900-02-29T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-04-31T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-13-01T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-00-01T00:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-01-00T00:00:00Z"));
  EXPECT_TRUE(Iso8601::parse("2000-02-29T00:00:00Z"));
}

TEST(Iso8601, RejectsTimesOutOfRange) {
  EXPECT_FALSE(Iso8601::parse("2025-03-01T24:00:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T23:60:00Z"));
  EXPECT_FALSE(Iso8601::parse("2025-03-01T23:59:60Z"));
}

TEST(Iso8601, RejectsGarbageAndEmptyText) {
  for (const char* text : {"", "Z", "garbage", "2025-03-01", "2025-03-01 09:30:00Z",
                           "2025/03/01T09:30:00Z", "25-03-01T09:30:00Z", "+2025-03-01T09:30:00Z",
                           " 2025-03-01T09:30:00Z", "2025-3-01T09:30:00Z", "2025-03-01T9:30:00Z",
                           "2025-03-01T09:30:0xZ", "2025-03-01t09:30:00Z", "1740821400"}) {
    EXPECT_FALSE(Iso8601::parse(text)) << text;
  }
}

}  // namespace
}  // namespace meterwright

namespace meterwright {
namespace {

TEST(Iso8601Range, InstantsADateCannotHoldDoNotParse) {
  EXPECT_EQ(Iso8601::parse("9999-12-31T23:59:59Z"), std::nullopt);
  EXPECT_EQ(Iso8601::parse("0001-01-01T00:00:00Z"), std::nullopt);
  EXPECT_EQ(Iso8601::parse("1600-06-01T00:00:00+00:00"), std::nullopt);
  auto late = Iso8601::parse("2262-01-01T00:00:00Z");
  ASSERT_TRUE(late);
  // Whatever parses formats to text that parses again to the same instant.
  EXPECT_EQ(Iso8601::parse(Iso8601::format(*late)), late);
}

TEST(ClockArithmetic, FarApartDatesDoNotOverflow) {
  Date early = *Iso8601::parse("1700-01-01T00:00:00Z");
  Date late = *Iso8601::parse("2250-01-01T00:00:00Z");
  EXPECT_NEAR(secondsBetween(early, late), 17356291200.0, 1.0);
  EXPECT_NEAR(secondsBetween(late, early), -17356291200.0, 1.0);
  EXPECT_EQ(secondsBetween(late, late), 0.0);
}

TEST(ClockArithmetic, AddingSecondsSaturatesAndIgnoresNaN) {
  Date start = dateFromUnixSeconds(1'740'821'400);
  EXPECT_EQ(addingSeconds(start, 90.5) - start, std::chrono::milliseconds(90'500));
  EXPECT_EQ(addingSeconds(start, std::numeric_limits<double>::quiet_NaN()), start);
  EXPECT_GT(addingSeconds(start, 1e300), start);
  EXPECT_LT(addingSeconds(start, -1e300), start);
  EXPECT_EQ(addingSeconds(start, 1e300), addingSeconds(start, 1e20));
}

}  // namespace
}  // namespace meterwright
