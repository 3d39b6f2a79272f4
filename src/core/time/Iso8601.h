#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/time/Clock.h"

namespace meterwright::Iso8601 {

// Internet date-time with whole seconds in UTC, e.g. 2025-03-01T09:30:00Z. Fractions of a second
// are dropped (the instant is floored to its second).
std::string format(Date date);

// Parses the internet date-time form with whole seconds and a zone: "Z" or "+hh:mm"/"-hh:mm".
// Fractional seconds, a missing zone, or any out-of-range field give nothing.
std::optional<Date> parse(std::string_view text);

}  // namespace meterwright::Iso8601
