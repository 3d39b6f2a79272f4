#include "core/json/JsonNumber.h"

#include <cmath>
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

std::optional<double> toDouble(const nlohmann::json& value) {
  if (!value.is_number()) return std::nullopt;
  return value.get<double>();
}

}  // namespace meterwright::JsonNumber
