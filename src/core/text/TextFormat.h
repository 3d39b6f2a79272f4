#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace meterwright {

// One value substituted into a localised text: text for %@, a whole number for %d.
using TextArgument = std::variant<std::string, long long>;

template <typename T>
TextArgument toTextArgument(const T& value) {
  if constexpr (std::is_integral_v<T>) {
    return static_cast<long long>(value);
  } else {
    return std::string(value);
  }
}

namespace TextFormat {

// Substitutes printf-style placeholders: %@ (text), %d (number), %% (a percent sign), and the
// positional forms %1$@ and %2$d. Translations may reorder positional placeholders. Never fails: a
// placeholder without an argument becomes empty, a number given for %@ or text given for %d is
// written as it is, and an unknown sequence is copied unchanged.
std::string format(std::string_view pattern, const std::vector<TextArgument>& arguments);

}  // namespace TextFormat

}  // namespace meterwright
