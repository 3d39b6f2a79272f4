#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/readers/PollState.h"

// The JSON form of one provider's poll state file: compact, ISO 8601 dates with whole seconds,
// distant-past dates and absent values left out, a format version and the provider's id, so a file
// of another format or another provider is never taken for this one.
namespace meterwright::PollStateCoding {

inline constexpr int version = 1;

// Nothing when a text cannot be carried (invalid UTF-8 in a failure's words).
std::optional<std::string> encode(const PollState& state, std::string_view provider);

// Nothing for anything that is not this format's state of `provider`: damaged or empty text,
// another version or provider, a mistyped member, a date outside the range a Date holds, a
// negative or absurd failure count.
std::optional<PollState> decode(std::string_view text, std::string_view provider);

}  // namespace meterwright::PollStateCoding
