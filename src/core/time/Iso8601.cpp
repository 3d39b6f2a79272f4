#include "core/time/Iso8601.h"

#include <cstdio>

namespace meterwright::Iso8601 {

namespace {

using namespace std::chrono;

// Reads exactly `count` decimal digits at `pos`.
std::optional<int> digits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool charAt(std::string_view text, size_t pos, char expected) {
  return pos < text.size() && text[pos] == expected;
}

// Out of a Date's range (it starts in 1677), and so free to stand for the distant past.
constexpr std::string_view distantPastText = "0001-01-01T00:00:00Z";

}  // namespace

std::string format(Date date) {
  if (date == distantPast) return std::string(distantPastText);
  auto whole = floor<seconds>(date);
  auto day = floor<days>(whole);
  year_month_day ymd{day};
  hh_mm_ss<seconds> time{whole - day};
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
  return buffer;
}

std::optional<Date> parse(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS then the zone.
  auto y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
  auto h = digits(text, 11, 2), mi = digits(text, 14, 2), s = digits(text, 17, 2);
  if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
  if (!charAt(text, 4, '-') || !charAt(text, 7, '-') || !charAt(text, 10, 'T') ||
      !charAt(text, 13, ':') || !charAt(text, 16, ':'))
    return std::nullopt;
  if (*h > 23 || *mi > 59 || *s > 59) return std::nullopt;
  year_month_day ymd{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
  if (!ymd.ok()) return std::nullopt;

  int offsetMinutes = 0;
  std::string_view zone = text.substr(19);
  if (zone == "Z") {
    offsetMinutes = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    auto zh = digits(zone, 1, 2), zm = digits(zone, 4, 2);
    if (!zh || !zm || *zh > 23 || *zm > 59) return std::nullopt;
    offsetMinutes = (*zh * 60 + *zm) * (zone[0] == '-' ? -1 : 1);
  } else {
    return std::nullopt;
  }
  sys_seconds instant =
      sys_days{ymd} + hours{*h} + minutes{*mi} + seconds{*s} - minutes{offsetMinutes};
  // A Date counts nanoseconds in 64 bits; instants it cannot hold do not parse.
  constexpr auto earliest = floor<seconds>(Date::min()).time_since_epoch() + seconds{1};
  constexpr auto latest = floor<seconds>(Date::max()).time_since_epoch();
  if (instant.time_since_epoch() < earliest || instant.time_since_epoch() > latest) {
    if (instant == sys_days{year{1} / 1 / 1}) return distantPast;
    return std::nullopt;
  }
  return Date{instant};
}

}  // namespace meterwright::Iso8601
