#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace meterwright {

// A 128-bit identifier of a Mac or a device. Its text is always the upper-case hyphenated
// 36-character form, which peers compare byte for byte.
struct Uuid {
  std::array<std::uint8_t, 16> bytes{};

  // A random (version 4) identifier from the system's secure generator.
  static Uuid random();
  // Accepts either letter case; nothing unless the text is exactly 8-4-4-4-12 hex digits.
  static std::optional<Uuid> parse(std::string_view text);

  std::string text() const;

  auto operator<=>(const Uuid&) const = default;
  bool operator==(const Uuid&) const = default;
};

}  // namespace meterwright
