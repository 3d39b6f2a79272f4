#include "core/format/Format.h"

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "core/format/ClampedInteger.h"
#include "core/text/LocalizedModule.h"
#include "core/time/Iso8601.h"

namespace meterwright::Format {

namespace {

std::string dayText(long long count) {
  return L("format.days", "%dd", count);
}
std::string hourText(long long count) {
  return L("format.hours", "%dh", count);
}
std::string minuteText(long long count) {
  return L("format.minutes", "%dm", count);
}

// ---- Clock times ----------------------------------------------------------------------------

enum class ClockTemplate { time, weekdayTime, monthDayTime };

const char16_t* skeletonOf(ClockTemplate kind) {
  switch (kind) {
    case ClockTemplate::time:
      return u"jm";
    case ClockTemplate::weekdayTime:
      return u"EEEjm";
    case ClockTemplate::monthDayTime:
      break;
  }
  return u"MMMdjm";
}

// What en_US makes of the templates, for when ICU cannot produce a pattern of its own.
const char16_t* englishPatternOf(ClockTemplate kind) {
  switch (kind) {
    case ClockTemplate::time:
      return u"h:mm a";
    case ClockTemplate::weekdayTime:
      return u"EEE h:mm a";
    case ClockTemplate::monthDayTime:
      break;
  }
  return u"MMM d, h:mm a";
}

constexpr double millisecondsPerDay = 86'400'000.0;

UDate udateOf(Date date) {
  return static_cast<UDate>(
      std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

// Milliseconds since 1970 on the wall clock of `zone`.
std::optional<double> localMilliseconds(UDate date, const icu::TimeZone& zone) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t raw = 0, daylight = 0;
  zone.getOffset(date, false, raw, daylight, status);
  if (U_FAILURE(status)) return std::nullopt;
  return date + raw + daylight;
}

ClockTemplate templateFor(UDate date, UDate now, const icu::TimeZone& zone) {
  auto dateLocal = localMilliseconds(date, zone);
  auto nowLocal = localMilliseconds(now, zone);
  if (!dateLocal || !nowLocal) return ClockTemplate::monthDayTime;
  double dayDifference =
      std::floor(*dateLocal / millisecondsPerDay) - std::floor(*nowLocal / millisecondsPerDay);
  if (dayDifference == 0) return ClockTemplate::time;
  // Past days count as near: the weekday says enough for a reset that was missed.
  if (dayDifference <= 6) return ClockTemplate::weekdayTime;
  return ClockTemplate::monthDayTime;
}

std::unique_ptr<icu::SimpleDateFormat> makeFormatter(const icu::Locale& locale,
                                                     const icu::TimeZone& zone,
                                                     ClockTemplate kind) {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString pattern;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_SUCCESS(status)) pattern = generator->getBestPattern(skeletonOf(kind), status);
  if (U_FAILURE(status) || pattern.isEmpty()) pattern = englishPatternOf(kind);

  status = U_ZERO_ERROR;
  auto formatter = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    formatter = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(englishPatternOf(kind)),
                                                        icu::Locale::getUS(), status);
  }
  if (U_FAILURE(status)) return nullptr;
  formatter->setTimeZone(zone);
  return formatter;
}

// Building a pattern generator costs about a millisecond, and the menu formats a clock time per
// window on every redraw, so formatters are kept per locale, zone and template. Formatting
// happens under the lock as well: a SimpleDateFormat is not safe to share between threads.
class FormatterCache {
 public:
  std::optional<std::string> format(UDate date, const icu::Locale& locale,
                                    const icu::TimeZone& zone, ClockTemplate kind) {
    icu::UnicodeString zoneId;
    zone.getID(zoneId);
    std::string key = locale.getName();
    key += '\n';
    zoneId.toUTF8String(key);
    key += '\n';
    key += static_cast<char>('0' + static_cast<int>(kind));

    std::lock_guard lock(mutex_);
    auto found = formatters_.find(key);
    if (found == formatters_.end()) {
      auto formatter = makeFormatter(locale, zone, kind);
      if (!formatter) return std::nullopt;
      // Only tests ask for many locales; keep the cache from growing with them.
      if (formatters_.size() >= 48) formatters_.clear();
      found = formatters_.emplace(std::move(key), std::move(formatter)).first;
    }
    icu::UnicodeString text;
    found->second->format(date, text);
    std::string out;
    text.toUTF8String(out);
    return out;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>> formatters_;
};

FormatterCache& formatterCache() {
  static FormatterCache cache;
  return cache;
}

std::string clockText(Date date, Date now, const icu::Locale& locale, const icu::TimeZone& zone) {
  UDate when = udateOf(date);
  ClockTemplate kind = templateFor(when, udateOf(now), zone);
  if (auto text = formatterCache().format(when, locale, zone, kind)) return *text;
  // Only when ICU has no data at all; an exact instant still beats no text.
  return Iso8601::format(date);
}

}  // namespace

std::string percent(double value) {
  return std::to_string(clampedInteger(std::round(value))) + "%";
}

std::string relative(double seconds) {
  // NaN fails the comparison and counts as no time at all.
  long long s = seconds > 0 ? clampedInteger(std::trunc(seconds)) : 0;
  if (s < 60) return L("format.underAMinute", "<1m");
  if (s < 3600) return minuteText(s / 60);
  if (s < 86400) {
    std::string text = hourText(s / 3600);
    if (s % 3600 >= 60) text.append(" ").append(minuteText(s % 3600 / 60));
    return text;
  }
  std::string text = dayText(s / 86400);
  if (s % 86400 >= 3600) text.append(" ").append(hourText(s % 86400 / 3600));
  return text;
}

std::string clockTime(Date date, Date now) {
  icu::Locale locale = icu::Locale::createFromName(timeLocale(processEnvironment()).c_str());
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
  return clockText(date, now, locale, *zone);
}

std::string clockTime(Date date, Date now, std::string_view localeName,
                      std::string_view timeZoneId) {
  icu::Locale locale = icu::Locale::createFromName(std::string(localeName).c_str());
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
      icu::StringPiece(timeZoneId.data(), static_cast<int32_t>(timeZoneId.size())))));
  return clockText(date, now, locale, *zone);
}

std::string timeLocale(const Environment& environment) {
  std::string name;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    // An empty variable counts as unset, as it does for the C library.
    if (auto value = environment(variable); value && !value->empty()) {
      name = *value;
      break;
    }
  }
  if (auto cut = name.find_first_of(".@"); cut != std::string::npos) name.resize(cut);
  if (name.empty() || name == "C" || name == "POSIX") return "en_US_POSIX";
  return name;
}

double value(const UsageWindow& window, Config::Metric metric) {
  return metric == Config::Metric::remaining ? window.remainingPercent() : window.usedPercent;
}

std::string metricWord(Config::Metric metric) {
  if (metric == Config::Metric::remaining) return L("format.left", "left");
  return L("format.used", "used");
}

std::string metricPhrase(std::string_view text, Config::Metric metric) {
  if (metric == Config::Metric::remaining) return L("format.phrase.left", "%@ left", text);
  return L("format.phrase.used", "%@ used", text);
}

bool metricWordLeads() {
  return metricWordLeads(L("format.phrase.left", "%@ left"));
}

bool metricWordLeads(std::string_view leftPhrase) {
  return !leftPhrase.starts_with("%@") && !leftPhrase.starts_with("%1$@");
}

std::string headline(const UsageWindow& window, Config::Metric metric, Date now) {
  if (window.hasRolledOver(now)) return std::string(resetGlyph);
  bool spent = window.isSpent() || std::isnan(window.usedPercent);
  if (spent && window.resetsAt && *window.resetsAt > now) {
    return std::string(resetGlyph) + relative(*window.resetsIn(now));
  }
  return percent(value(window, metric));
}

std::string caption(const UsageWindow& window, Date now) {
  if (window.hasRolledOver(now)) {
    return L("format.rolledOver",
             "This window has reset \u2014 waiting for a new reading from your computer");
  }
  std::string text = L("format.caption", "%1$@ used \u00B7 %2$@ left", percent(window.usedPercent),
                       percent(window.remainingPercent()));
  if (auto left = window.resetsIn(now)) {
    text += L("format.caption.resets", " \u00B7 resets in %@", relative(*left));
  }
  return text;
}

std::vector<UsageWindow> windows(const ProviderSnapshot& provider, const ProviderConfig& config) {
  std::vector<UsageWindow> ungrouped;
  for (const UsageWindow& window : provider.windows) {
    if (!window.group) ungrouped.push_back(window);
  }
  if (config.windows.empty()) return ungrouped;
  std::vector<UsageWindow> chosen;
  for (int length : config.windows) {
    auto found = std::find_if(ungrouped.begin(), ungrouped.end(),
                              [length](const UsageWindow& w) { return w.windowMinutes == length; });
    if (found != ungrouped.end()) chosen.push_back(*found);
  }
  return chosen;
}

std::vector<UsageWindow> allWindows(const ProviderSnapshot& provider,
                                    const ProviderConfig& config) {
  std::vector<UsageWindow> all = windows(provider, config);
  for (const UsageWindow& window : provider.windows) {
    if (window.group) all.push_back(window);
  }
  return all;
}

}  // namespace meterwright::Format
