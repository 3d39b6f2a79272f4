#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <regex>
#include <tuple>
#include <utility>

#include "core/format/Format.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {
namespace {

using Metric = Config::Metric;
using Windows = std::vector<UsageWindow>;
using Case = std::pair<double, std::string>;

const Date start = dateFromUnixSeconds(1'740'821'400);  // Saturday 2025-03-01 09:30 UTC
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

Date at(int day, int hour, int minute) {
  return addingSeconds(start, day * 86400.0 + (hour * 60 + minute - 570) * 60);
}
UsageWindow window(double used, std::optional<double> resetsIn = {}, int minutes = 300,
                   std::optional<std::string> group = {}) {
  auto resetsAt = resetsIn ? std::optional(addingSeconds(start, *resetsIn)) : std::nullopt;
  return {minutes, used, resetsAt, std::move(group)};
}

void expectAll(std::string (*format)(double), std::initializer_list<Case> cases) {
  for (const auto& [input, expected] : cases) EXPECT_EQ(format(input), expected) << input;
}

TEST(FormatPercent, RoundsHalfAwayFromZeroAndClampsWhatIsNotANumber) {
  expectAll(
      Format::percent,
      {Case{37.5, "38%"}, Case{-37.5, "-38%"}, Case{-0.4, "0%"}, Case{104.2, "104%"},
       Case{nan, "0%"}, Case{inf, "9223372036854775807%"}, Case{-inf, "-9223372036854775808%"}});
}

TEST(FormatRelative, LargestTwoUnitsWithMinutesDroppedOnceThereIsADay) {
  expectAll(Format::relative,
            {Case{0, "<1m"}, Case{59.9, "<1m"}, Case{-30, "<1m"}, Case{nan, "<1m"}, Case{60, "1m"},
             Case{3599, "59m"}, Case{3600, "1h"}, Case{3659, "1h"}, Case{3660, "1h 1m"},
             Case{86399, "23h 59m"}, Case{86400, "1d"}, Case{89940, "1d"}, Case{90000, "1d 1h"},
             Case{93784, "1d 2h"}, Case{1e300, "106751991167300d 15h"}});
}

TEST(FormatMetric, WordFollowsTheNumberUnlessThePhraseLeadsWithItAndCaptionsGiveBoth) {
  EXPECT_EQ(Format::metricWord(Metric::remaining), "left");
  EXPECT_EQ(Format::metricWord(Metric::used), "used");
  EXPECT_EQ(Format::metricPhrase("38%", Metric::remaining), "38% left");
  EXPECT_EQ(Format::metricPhrase("62%", Metric::used), "62% used");
  EXPECT_FALSE(Format::metricWordLeads());
  EXPECT_FALSE(Format::metricWordLeads("%@ left"));
  EXPECT_FALSE(Format::metricWordLeads("%1$@ übrig"));
  EXPECT_TRUE(Format::metricWordLeads("noch %@"));
  EXPECT_TRUE(Format::metricWordLeads("reste %1$@"));
  // A caption gives both numbers, and the reset or a rolled-over note.
  EXPECT_EQ(Format::caption(window(40, 7500), start),
            "40% used \u00B7 60% left \u00B7 resets in 2h 5m");
  EXPECT_EQ(Format::caption(window(40), start), "40% used \u00B7 60% left");
  EXPECT_EQ(Format::caption(window(40, -86400), start),
            "This window has reset \u2014 waiting for a new reading from your computer");
}

TEST(FormatHeadline, ResetThenCountdownWhileSpentThenPercentage) {
  const std::tuple<UsageWindow, Metric, const char*> rows[] = {
      {window(100, 0), Metric::remaining, "\u21BB"},  // the reset time is reached
      {window(10, -1), Metric::used, "\u21BB"},       // rolled over: its numbers are old
      {window(100, 30), Metric::remaining, "\u21BB<1m"},
      {window(99.6, 60), Metric::used, "\u21BB1m"},
      {window(nan, 3600), Metric::used, "\u21BB1h"},
      {window(99.5, 3600), Metric::remaining, "1%"},
      {window(37.5, 7500), Metric::used, "38%"},
      {window(37.5, 7500), Metric::remaining, "63%"},
      {window(99.6), Metric::remaining, "0%"},
      {window(nan), Metric::used, "0%"}};
  for (const auto& [usage, metric, expected] : rows)
    EXPECT_EQ(Format::headline(usage, metric, start), expected) << usage.usedPercent;
}

const UsageWindow fiveHours = window(10), laterFiveHours = window(99);
const UsageWindow sevenDays = window(20, {}, 10080), opusWeek = window(70, {}, 10080, "opus");
const UsageWindow sonnetWeek = window(5, {}, 10080, "sonnet");

Windows shown(decltype(&Format::windows) choose, std::vector<int> lengths,
              Windows read = {fiveHours, opusWeek, sevenDays, sonnetWeek, laterFiveHours}) {
  ProviderSnapshot provider;
  provider.windows = std::move(read);
  ProviderConfig config;
  config.windows = std::move(lengths);
  return choose(provider, config);
}

TEST(FormatWindows, UngroupedInConfiguredOrderWithGroupedOnesOnlyInAllWindows) {
  EXPECT_EQ(shown(Format::windows, {}), (Windows{fiveHours, sevenDays, laterFiveHours}));
  EXPECT_EQ(shown(Format::windows, {10080, 300}), (Windows{sevenDays, fiveHours}));
  EXPECT_EQ(shown(Format::windows, {60, 300}), Windows{fiveHours});
  EXPECT_EQ(shown(Format::windows, {300, 300}), (Windows{fiveHours, fiveHours}));
  EXPECT_EQ(shown(Format::windows, {10080}, {opusWeek}), Windows{});
  EXPECT_EQ(shown(Format::allWindows, {}),
            (Windows{fiveHours, sevenDays, laterFiveHours, opusWeek, sonnetWeek}));
  EXPECT_EQ(shown(Format::allWindows, {10080}), (Windows{sevenDays, opusWeek, sonnetWeek}));
  EXPECT_EQ(shown(Format::allWindows, {60}), (Windows{opusWeek, sonnetWeek}));
}

TEST(FormatClockTime, TimeAloneTodayWeekdayUpToSixDaysOrPastMonthAndDayBeyond) {
  const std::regex weekday("Sun|Mon|Tue|Wed|Thu|Fri|Sat");
  const std::regex month("Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec");
  const std::tuple<Date, const char*, const char*, const char*, bool, bool> rows[] = {
      // date, locale, zone, pattern, shows a weekday, shows a month
      {at(0, 15, 5), "en_US", "UTC", "3:05.*PM", false, false},
      {at(6, 23, 59), "en_US", "UTC", "Fri", true, false},
      {at(7, 0, 5), "en_US", "UTC", "Mar 8", false, true},  // under seven times 24 hours ahead
      {at(10, 15, 5), "en_US", "UTC", "Mar 11.*3:05", false, true},
      {at(-20, 8, 0), "en_US", "UTC", "Sun.*8:00", true, false},
      {at(1, 3, 0), "en_US", "America/New_York", "10:00.*PM", false, false},
      {at(0, 4, 0), "en_US", "America/New_York", "Fri.*11:00", true, false},
      {at(0, 15, 5), "de_DE", "UTC", "^15:05$", false, false},
      {at(3, 15, 5), "de_DE", "UTC", "Di.*15:05", false, false},
      {at(0, 15, 5), "xx_YY", "Not/A_Zone", ":05", false, false}};
  for (const auto& [date, locale, zone, pattern, showsWeekday, showsMonth] : rows) {
    std::string text = Format::clockTime(date, start, locale, zone);
    SCOPED_TRACE(text);
    EXPECT_TRUE(std::regex_search(text, std::regex(pattern)));
    EXPECT_EQ(std::regex_search(text, weekday), showsWeekday);
    EXPECT_EQ(std::regex_search(text, month), showsMonth);
  }
}

TEST(FormatTimeLocale, FirstSetVariableWithoutEncodingOrModifierDecidesTheClockTime) {
  auto localeOf = [](std::map<std::string, std::string> set) {
    return Format::timeLocale([&](const char* name) {
      return set.contains(name) ? std::optional(set[name]) : std::nullopt;
    });
  };
  EXPECT_EQ(localeOf({{"LC_ALL", "de_DE.UTF-8"}, {"LC_TIME", "fr_FR"}, {"LANG", "C"}}), "de_DE");
  EXPECT_EQ(localeOf({{"LC_TIME", "fr_FR.UTF-8@euro"}, {"LANG", "en_GB.UTF-8"}}), "fr_FR");
  EXPECT_EQ(localeOf({{"LC_ALL", ""}, {"LC_TIME", ""}, {"LANG", "de_AT.UTF-8"}}), "de_AT");
  EXPECT_EQ(localeOf({}), "en_US_POSIX");
  EXPECT_EQ(localeOf({{"LANG", "C.UTF-8"}}), "en_US_POSIX");
  EXPECT_EQ(localeOf({{"LC_ALL", "POSIX"}, {"LANG", "de_DE.UTF-8"}}), "en_US_POSIX");
  setenv("LC_TIME", "de_DE.UTF-8", 1);
  std::string german = Format::clockTime(at(0, 15, 5), start);
  unsetenv("LC_TIME");
  EXPECT_EQ(german, "15:05");
}

class FormatGerman : public ::testing::Test {
 protected:
  void SetUp() override { coreText().choose({{"de"}}); }
  void TearDown() override { coreText().choose(std::nullopt); }
};

TEST_F(FormatGerman, UnitsWordsAndCaptionWithTheNumberFirst) {
  expectAll(Format::relative, {Case{30, "<1min"}, Case{3660, "1h 1min"}, Case{90000, "1T 1h"}});
  EXPECT_EQ(Format::headline(window(100, 7500), Metric::used, start), "\u21BB2h 5min");
  EXPECT_EQ(Format::metricWord(Metric::remaining), "übrig");
  EXPECT_EQ(Format::metricWord(Metric::used), "verbraucht");
  EXPECT_EQ(Format::metricPhrase("62%", Metric::used), "62% verbraucht");
  EXPECT_FALSE(Format::metricWordLeads());
  EXPECT_EQ(Format::caption(window(40, 7500), start),
            "40% verbraucht \u00B7 60% übrig \u00B7 wird in 2h 5min zurückgesetzt");
  EXPECT_THAT(Format::caption(window(40, 0), start), ::testing::HasSubstr("zurückgesetzt"));
}

}  // namespace
}  // namespace meterwright
