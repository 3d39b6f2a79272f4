#pragma once

#include <cmath>
#include <limits>

namespace meterwright {

// A whole double as an integer that every input converts to. Readers' numbers are outside input:
// NaN, an infinity or a value beyond 64 bits would make a plain cast undefined behaviour (and trap
// under the sanitiser), so they are clamped and NaN counts as 0.
inline long long clampedInteger(double value) {
  if (std::isnan(value)) return 0;
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (value >= limit) return std::numeric_limits<long long>::max();
  if (value <= -limit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(value);
}

}  // namespace meterwright
