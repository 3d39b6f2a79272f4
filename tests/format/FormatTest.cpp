#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/format/Format.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Metric = Config::Metric;

// 2025-03-01T09:30:00Z, a Saturday.
const Date start = dateFromUnixSeconds(1'740'821'400);
const double nan = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

// Seconds from `start` for a day offset and a UTC wall-clock time on that day.
Date at(int dayOffset, int hour, int minute) {
  // `start` is 09:30 on its day.
  return addingSeconds(start, dayOffset * 86400.0 + (hour * 60 + minute - 570) * 60.0);
}

UsageWindow window(int minutes, double used, std::optional<Date> resetsAt = std::nullopt,
                   std::optional<std::string> group = std::nullopt) {
  return UsageWindow{minutes, used, resetsAt, std::move(group)};
}

// ---- percent ---------------------------------------------------------------------------------

TEST(FormatPercent, RoundsHalfAwayFromZero) {
  EXPECT_EQ(Format::percent(37.5), "38%");
  EXPECT_EQ(Format::percent(2.5), "3%");
  EXPECT_EQ(Format::percent(0.5), "1%");
  EXPECT_EQ(Format::percent(-37.5), "-38%");
  EXPECT_EQ(Format::percent(37.49), "37%");
}

TEST(FormatPercent, KeepsValuesOutsideZeroToHundred) {
  EXPECT_EQ(Format::percent(104.2), "104%");
  EXPECT_EQ(Format::percent(-12), "-12%");
}

TEST(FormatPercent, SmallNegativeRoundsToPlainZero) {
  EXPECT_EQ(Format::percent(-0.4), "0%");
}

TEST(FormatPercent, NonFiniteAndHugeValuesAreClamped) {
  EXPECT_EQ(Format::percent(nan), "0%");
  EXPECT_EQ(Format::percent(infinity), "9223372036854775807%");
  EXPECT_EQ(Format::percent(1e300), "9223372036854775807%");
  EXPECT_EQ(Format::percent(-infinity), "-9223372036854775808%");
}

// ---- relative --------------------------------------------------------------------------------

TEST(FormatRelative, UnderAMinute) {
  EXPECT_EQ(Format::relative(0), "<1m");
  EXPECT_EQ(Format::relative(59.9), "<1m");
}

TEST(FormatRelative, MinutesBelowAnHour) {
  EXPECT_EQ(Format::relative(60), "1m");
  EXPECT_EQ(Format::relative(2520), "42m");
  EXPECT_EQ(Format::relative(3599), "59m");
}

TEST(FormatRelative, HoursWithMinutesOnlyWhenThereAreAny) {
  EXPECT_EQ(Format::relative(3600), "1h");
  EXPECT_EQ(Format::relative(3659), "1h");
  EXPECT_EQ(Format::relative(3660), "1h 1m");
  EXPECT_EQ(Format::relative(7500), "2h 5m");
  EXPECT_EQ(Format::relative(86399), "23h 59m");
}

TEST(FormatRelative, DaysWithHoursButNeverMinutes) {
  EXPECT_EQ(Format::relative(86400), "1d");
  EXPECT_EQ(Format::relative(90000), "1d 1h");
  EXPECT_EQ(Format::relative(86400 + 2 * 3600 + 3 * 60 + 4), "1d 2h");
  EXPECT_EQ(Format::relative(86400 + 59 * 60), "1d");
  EXPECT_EQ(Format::relative(6 * 86400 + 23 * 3600 + 59 * 60), "6d 23h");
}

TEST(FormatRelative, NegativeCountsAsNoTime) {
  EXPECT_EQ(Format::relative(-30), "<1m");
  EXPECT_EQ(Format::relative(-90000), "<1m");
}

TEST(FormatRelative, NonFiniteAndHugeValuesAreClamped) {
  EXPECT_EQ(Format::relative(nan), "<1m");
  EXPECT_EQ(Format::relative(-infinity), "<1m");
  // The largest 64-bit second count: 106751991167300 days and 15 hours.
  EXPECT_EQ(Format::relative(infinity), "106751991167300d 15h");
  EXPECT_EQ(Format::relative(1e300), "106751991167300d 15h");
}

// ---- value and metric words ------------------------------------------------------------------

TEST(FormatMetric, ValueFollowsTheMetricWithRemainingFlooredAtZero) {
  EXPECT_DOUBLE_EQ(Format::value(window(300, 37.5), Metric::used), 37.5);
  EXPECT_DOUBLE_EQ(Format::value(window(300, 37.5), Metric::remaining), 62.5);
  EXPECT_DOUBLE_EQ(Format::value(window(300, 130), Metric::used), 130);
  EXPECT_DOUBLE_EQ(Format::value(window(300, 130), Metric::remaining), 0);
}

TEST(FormatMetric, EnglishWordsAndPhrases) {
  EXPECT_EQ(Format::metricWord(Metric::remaining), "left");
  EXPECT_EQ(Format::metricWord(Metric::used), "used");
  EXPECT_EQ(Format::metricPhrase("38%", Metric::remaining), "38% left");
  EXPECT_EQ(Format::metricPhrase("62%", Metric::used), "62% used");
  EXPECT_FALSE(Format::metricWordLeads());
}

TEST(FormatMetric, WordLeadsWhenThePhraseDoesNotStartWithTheNumber) {
  EXPECT_FALSE(Format::metricWordLeads("%@ left"));
  EXPECT_FALSE(Format::metricWordLeads("%1$@ übrig"));
  EXPECT_TRUE(Format::metricWordLeads("noch %@"));
  EXPECT_TRUE(Format::metricWordLeads("reste %1$@"));
  EXPECT_TRUE(Format::metricWordLeads(""));
}

// ---- headline --------------------------------------------------------------------------------

TEST(FormatHeadline, ResetGlyphAloneOnceTheResetTimeIsReached) {
  UsageWindow spent = window(300, 100, start);
  EXPECT_EQ(Format::headline(spent, Metric::remaining, start), "\u21BB");
  EXPECT_EQ(Format::headline(spent, Metric::remaining, addingSeconds(start, 1)), "\u21BB");
  // A rolled-over window that was barely used says the same: its numbers are old.
  EXPECT_EQ(Format::headline(window(300, 10, start), Metric::used, addingSeconds(start, 1)),
            "\u21BB");
}

TEST(FormatHeadline, SpentWindowCountsDownToItsReset) {
  EXPECT_EQ(Format::headline(window(300, 100, addingSeconds(start, 30)), Metric::remaining, start),
            "\u21BB<1m");
  EXPECT_EQ(Format::headline(window(300, 100, addingSeconds(start, 7500)), Metric::used, start),
            "\u21BB2h 5m");
  EXPECT_EQ(Format::headline(window(300, 99.6, addingSeconds(start, 60)), Metric::used, start),
            "\u21BB1m");
  EXPECT_EQ(
      Format::headline(window(300, 130, addingSeconds(start, 3600)), Metric::remaining, start),
      "\u21BB1h");
}

TEST(FormatHeadline, HalfAPercentLeftIsNotSpent) {
  EXPECT_EQ(
      Format::headline(window(300, 99.5, addingSeconds(start, 3600)), Metric::remaining, start),
      "1%");
}

TEST(FormatHeadline, SpentWithoutResetTimeShowsThePercentage) {
  EXPECT_EQ(Format::headline(window(300, 99.6), Metric::remaining, start), "0%");
  EXPECT_EQ(Format::headline(window(300, 99.6), Metric::used, start), "100%");
  EXPECT_EQ(Format::headline(window(300, 130), Metric::remaining, start), "0%");
  EXPECT_EQ(Format::headline(window(300, 130), Metric::used, start), "130%");
}

TEST(FormatHeadline, UnspentWindowShowsThePercentageInTheMetric) {
  UsageWindow partly = window(300, 37.5, addingSeconds(start, 7500));
  EXPECT_EQ(Format::headline(partly, Metric::used, start), "38%");
  EXPECT_EQ(Format::headline(partly, Metric::remaining, start), "63%");
}

TEST(FormatHeadline, UnreadableShareCountsAsSpent) {
  EXPECT_EQ(Format::headline(window(300, nan, addingSeconds(start, 3600)), Metric::used, start),
            "\u21BB1h");
  EXPECT_EQ(Format::headline(window(300, nan), Metric::used, start), "0%");
  EXPECT_EQ(Format::headline(window(300, nan), Metric::remaining, start), "0%");
}

// ---- caption ---------------------------------------------------------------------------------

TEST(FormatCaption, UsedLeftAndTimeToReset) {
  EXPECT_EQ(Format::caption(window(300, 40, addingSeconds(start, 7500)), start),
            "40% used \u00B7 60% left \u00B7 resets in 2h 5m");
}

TEST(FormatCaption, WithoutResetTimeHasNoResetPart) {
  std::string text = Format::caption(window(300, 40), start);
  EXPECT_EQ(text, "40% used \u00B7 60% left");
  EXPECT_THAT(text, Not(HasSubstr("resets in")));
}

TEST(FormatCaption, OverUsedWindowHasNothingLeft) {
  EXPECT_EQ(Format::caption(window(300, 130), start), "130% used \u00B7 0% left");
}

TEST(FormatCaption, RolledOverWindowSaysSoInstead) {
  const std::string rolledOver =
      "This window has reset \u2014 waiting for a new reading from your Mac";
  EXPECT_EQ(Format::caption(window(300, 40, start), start), rolledOver);
  EXPECT_EQ(Format::caption(window(300, 40, start), addingSeconds(start, 86400)), rolledOver);
}

// ---- windows ---------------------------------------------------------------------------------

class FormatWindows : public ::testing::Test {
 protected:
  static ProviderConfig configured(std::vector<int> lengths) {
    ProviderConfig config;
    config.id = "claude";
    config.windows = std::move(lengths);
    return config;
  }

  // Reading order: five hours, a per-model week, seven days, a second five-hour entry.
  const UsageWindow fiveHours = window(300, 10);
  const UsageWindow opusWeek = window(10080, 70, std::nullopt, "opus");
  const UsageWindow sevenDays = window(10080, 20);
  const UsageWindow laterFiveHours = window(300, 99);
  const ProviderSnapshot provider{
      "claude", "Claude", "max", "live", start, {fiveHours, opusWeek, sevenDays, laterFiveHours}};
};

TEST_F(FormatWindows, WithoutConfiguredLengthsEveryUngroupedWindowInReadingOrder) {
  EXPECT_EQ(Format::windows(provider, configured({})),
            (std::vector<UsageWindow>{fiveHours, sevenDays, laterFiveHours}));
}

TEST_F(FormatWindows, ConfiguredOrderWins) {
  EXPECT_EQ(Format::windows(provider, configured({10080, 300})),
            (std::vector<UsageWindow>{sevenDays, fiveHours}));
}

TEST_F(FormatWindows, UnreportedLengthIsSkipped) {
  EXPECT_EQ(Format::windows(provider, configured({60, 300})),
            (std::vector<UsageWindow>{fiveHours}));
  EXPECT_TRUE(Format::windows(provider, configured({60})).empty());
}

TEST_F(FormatWindows, LengthListedTwiceYieldsTheFirstMatchTwice) {
  EXPECT_EQ(Format::windows(provider, configured({300, 300})),
            (std::vector<UsageWindow>{fiveHours, fiveHours}));
}

TEST_F(FormatWindows, GroupedWindowIsNeverPickedForAConfiguredLength) {
  ProviderSnapshot onlyGrouped = provider;
  onlyGrouped.windows = {opusWeek};
  EXPECT_TRUE(Format::windows(onlyGrouped, configured({10080})).empty());
  EXPECT_TRUE(Format::windows(onlyGrouped, configured({})).empty());
}

TEST_F(FormatWindows, AllWindowsAppendsGroupedOnesUnfiltered) {
  EXPECT_EQ(Format::allWindows(provider, configured({300})),
            (std::vector<UsageWindow>{fiveHours, opusWeek}));
  EXPECT_EQ(Format::allWindows(provider, configured({60})), (std::vector<UsageWindow>{opusWeek}));

  ProviderSnapshot twoGroups = provider;
  UsageWindow sonnetWeek = window(10080, 5, std::nullopt, "sonnet");
  twoGroups.windows = {sonnetWeek, fiveHours, opusWeek};
  EXPECT_EQ(Format::allWindows(twoGroups, configured({})),
            (std::vector<UsageWindow>{fiveHours, sonnetWeek, opusWeek}));
}

// ---- clock times -----------------------------------------------------------------------------

// Names that would betray a weekday or a month in an en_US clock text.
const std::vector<std::string> weekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const std::vector<std::string> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool mentionsAny(const std::string& text, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (text.find(name) != std::string::npos) return true;
  }
  return false;
}

std::string usClock(Date date, Date now = start, std::string_view zone = "UTC") {
  return Format::clockTime(date, now, "en_US", zone);
}

TEST(FormatClockTime, SameDayShowsTheTimeAlone) {
  for (Date date : {at(0, 15, 5), at(0, 0, 0), at(0, 23, 59)}) {
    std::string text = usClock(date);
    EXPECT_FALSE(mentionsAny(text, weekdays)) << text;
    EXPECT_FALSE(mentionsAny(text, months)) << text;
  }
  std::string afternoon = usClock(at(0, 15, 5));
  EXPECT_THAT(afternoon, HasSubstr("3:05"));
  EXPECT_THAT(afternoon, HasSubstr("PM"));
}

TEST(FormatClockTime, WithinSixDaysAheadShowsTheWeekday) {
  std::string threeDays = usClock(at(3, 15, 5));
  EXPECT_THAT(threeDays, HasSubstr("Tue"));
  EXPECT_THAT(threeDays, HasSubstr("3:05"));
  EXPECT_FALSE(mentionsAny(threeDays, months)) << threeDays;

  std::string tomorrowMorning = usClock(at(1, 0, 10));
  EXPECT_THAT(tomorrowMorning, HasSubstr("Sun"));
  EXPECT_THAT(tomorrowMorning, HasSubstr("12:10"));

  std::string sixDays = usClock(at(6, 23, 59));
  EXPECT_THAT(sixDays, HasSubstr("Fri"));
  EXPECT_FALSE(mentionsAny(sixDays, months)) << sixDays;
}

TEST(FormatClockTime, BeyondSixDaysShowsMonthAndDay) {
  // Seven calendar days ahead, though fewer than seven times 24 hours.
  std::string sevenDays = usClock(at(7, 0, 5));
  EXPECT_THAT(sevenDays, HasSubstr("Mar 8"));
  EXPECT_FALSE(mentionsAny(sevenDays, weekdays)) << sevenDays;

  std::string tenDays = usClock(at(10, 15, 5));
  EXPECT_THAT(tenDays, HasSubstr("Mar 11"));
  EXPECT_THAT(tenDays, HasSubstr("3:05"));
  EXPECT_FALSE(mentionsAny(tenDays, weekdays)) << tenDays;
}

TEST(FormatClockTime, AnyPastDayShowsTheWeekday) {
  std::string yesterday = usClock(at(-1, 23, 0));
  EXPECT_THAT(yesterday, HasSubstr("Fri"));
  EXPECT_THAT(yesterday, HasSubstr("11:00"));

  std::string longAgo = usClock(at(-20, 8, 0));
  EXPECT_THAT(longAgo, HasSubstr("Sun"));
  EXPECT_FALSE(mentionsAny(longAgo, months)) << longAgo;
}

TEST(FormatClockTime, CalendarDaysAreCountedInTheTimeZone) {
  // now is 04:30 on Saturday in New York (UTC−5).
  std::string lateSaturday = usClock(at(1, 3, 0), start, "America/New_York");
  EXPECT_THAT(lateSaturday, HasSubstr("10:00"));
  EXPECT_THAT(lateSaturday, HasSubstr("PM"));
  EXPECT_FALSE(mentionsAny(lateSaturday, weekdays)) << lateSaturday;

  std::string fridayNight = usClock(at(0, 4, 0), start, "America/New_York");
  EXPECT_THAT(fridayNight, HasSubstr("Fri"));
  EXPECT_THAT(fridayNight, HasSubstr("11:00"));
}

TEST(FormatClockTime, GermanLocaleUsesTwentyFourHourTime) {
  std::string afternoon = Format::clockTime(at(0, 15, 5), start, "de_DE", "UTC");
  EXPECT_THAT(afternoon, HasSubstr("15:05"));
  EXPECT_THAT(afternoon, Not(HasSubstr("PM")));
  EXPECT_THAT(Format::clockTime(at(3, 15, 5), start, "de_DE", "UTC"), HasSubstr("Di"));
}

TEST(FormatClockTime, UnknownLocaleOrZoneStillGivesATime) {
  std::string text = Format::clockTime(at(0, 15, 5), start, "xx_YY", "Not/A_Zone");
  EXPECT_THAT(text, HasSubstr(":05"));
  EXPECT_THAT(Format::clockTime(at(0, 15, 5), start, "", ""), HasSubstr(":05"));
}

TEST(FormatClockTime, FollowsTheEnvironmentLocale) {
  // The test process runs with LANG=en_US.UTF-8 and TZ=UTC.
  EXPECT_THAT(Format::clockTime(at(0, 15, 5), start), HasSubstr("PM"));

  std::optional<std::string> saved;
  if (const char* value = std::getenv("LC_TIME")) saved = value;
  setenv("LC_TIME", "de_DE.UTF-8", 1);
  std::string german = Format::clockTime(at(0, 15, 5), start);
  if (saved) {
    setenv("LC_TIME", saved->c_str(), 1);
  } else {
    unsetenv("LC_TIME");
  }
  EXPECT_THAT(german, HasSubstr("15:05"));
}

TEST(FormatTimeLocale, FirstSetVariableWithoutEncodingOrModifier) {
  using Variables = std::map<std::string, std::string>;
  auto localeOf = [](Variables variables) {
    return Format::timeLocale([variables](const char* name) -> std::optional<std::string> {
      auto found = variables.find(name);
      if (found == variables.end()) return std::nullopt;
      return found->second;
    });
  };
  EXPECT_EQ(localeOf({{"LC_ALL", "de_DE.UTF-8"}, {"LC_TIME", "fr_FR"}, {"LANG", "en_GB"}}),
            "de_DE");
  EXPECT_EQ(localeOf({{"LC_TIME", "fr_FR.UTF-8@euro"}, {"LANG", "en_GB.UTF-8"}}), "fr_FR");
  EXPECT_EQ(localeOf({{"LANG", "sr_RS@latin"}}), "sr_RS");
  EXPECT_EQ(localeOf({{"LC_ALL", ""}, {"LC_TIME", ""}, {"LANG", "de_AT.UTF-8"}}), "de_AT");
  EXPECT_EQ(localeOf({}), "en_US_POSIX");
  EXPECT_EQ(localeOf({{"LANG", "C.UTF-8"}}), "en_US_POSIX");
  EXPECT_EQ(localeOf({{"LC_ALL", "POSIX"}, {"LANG", "de_DE.UTF-8"}}), "en_US_POSIX");
}

// ---- German ----------------------------------------------------------------------------------

class FormatGerman : public ::testing::Test {
 protected:
  void SetUp() override { coreText().choose({{"de"}}); }
  void TearDown() override { coreText().choose(std::nullopt); }
};

TEST_F(FormatGerman, RelativeUsesGermanUnits) {
  EXPECT_EQ(Format::relative(30), "<1min");
  EXPECT_EQ(Format::relative(3660), "1h 1min");
  EXPECT_EQ(Format::relative(90000), "1T 1h");
}

TEST_F(FormatGerman, MetricWordsAndPhrases) {
  EXPECT_EQ(Format::metricWord(Metric::remaining), "übrig");
  EXPECT_EQ(Format::metricWord(Metric::used), "verbraucht");
  EXPECT_EQ(Format::metricPhrase("38%", Metric::remaining), "38% übrig");
  EXPECT_EQ(Format::metricPhrase("62%", Metric::used), "62% verbraucht");
}

TEST_F(FormatGerman, NumberComesBeforeTheWord) {
  ASSERT_EQ(coreText().language(), "de");
  EXPECT_FALSE(Format::metricWordLeads());
}

TEST_F(FormatGerman, Caption) {
  EXPECT_EQ(Format::caption(window(300, 40, addingSeconds(start, 7500)), start),
            "40% verbraucht \u00B7 60% übrig \u00B7 wird in 2h 5min zurückgesetzt");
  EXPECT_EQ(Format::caption(window(300, 40), start), "40% verbraucht \u00B7 60% übrig");
  EXPECT_THAT(Format::caption(window(300, 40, start), start), HasSubstr("zurückgesetzt"));
}

TEST_F(FormatGerman, HeadlineCountdownUsesGermanUnits) {
  EXPECT_EQ(Format::headline(window(300, 100, addingSeconds(start, 7500)), Metric::used, start),
            "\u21BB2h 5min");
}

}  // namespace
}  // namespace meterwright
