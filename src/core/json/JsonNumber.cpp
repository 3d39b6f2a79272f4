#include "core/json/JsonNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace meterwright::JsonNumber {

std::optional<nlohmann::json> fromDouble(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // 2^53: beyond it not every whole double is exact as an int64, and the float form is just as
  // exact.
  constexpr double exactLimit = 9007199254740992.0;
  if (value == std::trunc(value) && std::fabs(value) <= exactLimit) {
    return nlohmann::json(static_cast<std::int64_t>(value));
  }
  return nlohmann::json(value);
}

std::optional<int> toInt(const nlohmann::json& value) {
  using Limits = std::numeric_limits<int>;
  if (value.is_number_integer()) {
    if (value.is_number_unsigned()) {
      auto u = value.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(Limits::max())) return std::nullopt;
      return static_cast<int>(u);
    }
    auto i = value.get<std::int64_t>();
    if (i < Limits::min() || i > Limits::max()) return std::nullopt;
    return static_cast<int>(i);
  }
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (!std::isfinite(d) || d != std::trunc(d)) return std::nullopt;
    if (d < Limits::min() || d > Limits::max()) return std::nullopt;
    return static_cast<int>(d);
  }
  return std::nullopt;
}

std::optional<int> toClampedInt(const nlohmann::json& value) {
  using Limits = std::numeric_limits<int>;
  if (value.is_number_unsigned()) {
    auto u = value.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<int>(std::min<std::uint64_t>(u, Limits::max()));
  }
  if (value.is_number_integer()) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value.get<std::int64_t>(), Limits::min(), Limits::max()));
  }
  if (!value.is_number_float()) return std::nullopt;
  double d = value.get<double>();
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (!std::isfinite(d) || d != std::trunc(d) || d >= limit || d < -limit) return std::nullopt;
  return static_cast<int>(std::clamp<double>(d, Limits::min(), Limits::max()));
}

std::optional<double> toDouble(const nlohmann::json& value) {
  if (!value.is_number()) return std::nullopt;
  return value.get<double>();
}

}  // namespace meterwright::JsonNumber
