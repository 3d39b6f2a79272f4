#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/time/Clock.h"

namespace meterwright::Iso8601 {

// Internet date-time with whole seconds in UTC, e.g. 2025-03-01T09:30:00Z. Fractions of a second
// are dropped (the instant is floored to its second). The distant past is 0001-01-01T00:00:00Z.
std::string format(Date date);

// Parses the internet date-time form with whole seconds and a zone: "Z" or "+hh:mm"/"-hh:mm".
// Fractional seconds, a missing zone, or any out-of-range field give nothing; so does an instant a
// Date cannot hold, except 0001-01-01T00:00:00Z, which gives the distant past.
std::optional<Date> parse(std::string_view text);

}  // namespace meterwright::Iso8601
