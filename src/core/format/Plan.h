#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace meterwright::Plan {

// Turns the subscription type a provider reports ("max_20x", "pro", "claude_max_trial") into the
// short badge shown next to its name, or nothing for plans not worth a badge (free, default…).
std::optional<std::string> badge(std::optional<std::string_view> subscriptionType);

// Whether badge() gives a badge for this subscription type.
bool isWorthShowing(std::optional<std::string_view> subscriptionType);

}  // namespace meterwright::Plan
