#pragma once

#include <chrono>

namespace meterwright {

// An absolute instant. Every date in a reading, the configuration and the sync protocol is one.
using Date = std::chrono::system_clock::time_point;

// "Long ago": the earliest instant a Date holds, for a reading without any time of its own.
// Written as 0001-01-01T00:00:00Z (Iso8601), the way the peers write their distant past.
inline constexpr Date distantPast = Date::min();

// Seconds as the model counts them: intervals and ages are doubles.
using Seconds = std::chrono::duration<double>;

// Where "now" comes from. Long-lived components take one so tests can move time without sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Date now() const = 0;
};

class SystemClock final : public Clock {
 public:
  Date now() const override { return std::chrono::system_clock::now(); }
};

// Seconds from `from` to `to`, negative when `to` is earlier. Computed in doubles: the
// nanosecond difference of two far-apart dates would overflow.
inline double secondsBetween(Date from, Date to) {
  return Seconds(to.time_since_epoch()).count() - Seconds(from.time_since_epoch()).count();
}

// `date` moved by a number of seconds (fractions kept to the clock's resolution). Dates are held
// to the range a Date can represent (about the years 1678 to 2262), so outside numbers cannot
// overflow it; NaN moves nothing.
inline Date addingSeconds(Date date, double seconds) {
  double target = Seconds(date.time_since_epoch()).count() + seconds;
  if (target != target) return date;
  constexpr double limit = 9.2e9;  // seconds; just inside the int64 nanosecond range
  if (target > limit) target = limit;
  if (target < -limit) target = -limit;
  return Date{std::chrono::duration_cast<Date::duration>(Seconds(target))};
}

// The instant `seconds` after 1970-01-01 00:00:00 UTC.
inline Date dateFromUnixSeconds(double seconds) {
  return addingSeconds(Date{}, seconds);
}

}  // namespace meterwright
