#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace meterwright::JsonText {

// Parses UTF-8 JSON text; nothing for text that is not one well-formed JSON value (including
// invalid UTF-8, numbers beyond the range of a double, and arrays or objects nested more than 512
// deep).
std::optional<nlohmann::json> parse(std::string_view text);

// Pretty-printed with two-space indents, keys sorted at every level and "/" escaped as "\/", so the
// same value always gives the same bytes. Nothing when a string holds invalid UTF-8.
std::optional<std::string> prettySorted(const nlohmann::json& value);

// Compact form, members in insertion order for ordered values.
std::optional<std::string> compact(const nlohmann::ordered_json& value);

}  // namespace meterwright::JsonText
