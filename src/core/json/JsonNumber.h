#pragma once

#include <nlohmann/json.hpp>
#include <optional>

namespace meterwright::JsonNumber {

// A double as the peers' encoders write it: whole values without a fraction (60, not 60.0).
// Nothing for NaN or an infinity, which JSON cannot carry.
std::optional<nlohmann::json> fromDouble(double value);

// A JSON number that is a whole value within the range of int (6 and 6.0 both qualify; 6.5, a
// string or a boolean do not).
std::optional<int> toInt(const nlohmann::json& value);

// A whole JSON number held to the range of int, for settings (a limit of 3000000000 becomes the
// largest int rather than failing the file). Nothing for a fraction, a non-number, or a whole value
// beyond a signed 64-bit integer, which the peers' decoders refuse as well.
std::optional<int> toClampedInt(const nlohmann::json& value);

// Any JSON number as a double.
std::optional<double> toDouble(const nlohmann::json& value);

}  // namespace meterwright::JsonNumber
