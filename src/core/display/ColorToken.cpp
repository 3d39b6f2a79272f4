#include "core/display/ColorToken.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace meterwright {

namespace {

constexpr double lightCeiling = 0.8;
constexpr double darkFloor = 0.22;
constexpr double greySpread = 0.1;
constexpr double strongestShift = 0.7;

std::string_view trimmedSpaces(std::string_view text) {
  auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

double clampedAmount(double amount) {
  if (std::isnan(amount)) return 0;
  return std::clamp(amount, 0.0, 1.0);
}

}  // namespace

std::optional<ColorToken> ColorToken::fromHex(std::string_view text) {
  text = trimmedSpaces(text);
  if (text.starts_with('#')) text.remove_prefix(1);
  // Bytes, not characters: any text with a non-ASCII character fails the digit check anyway.
  if (text.size() != 6 && text.size() != 8) return std::nullopt;
  std::size_t length = text.size();
  // The platform's number parser takes one leading "+"; "+12345" therefore reads as 0x012345.
  std::string_view digits = text.starts_with('+') ? text.substr(1) : text;
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  auto byte = [&](int shift) { return ((value >> shift) & 0xFF) / 255.0; };
  if (length == 6) return ColorToken{byte(16), byte(8), byte(0), 1.0};
  return ColorToken{byte(24), byte(16), byte(8), byte(0)};
}

double ColorToken::luminance() const {
  return 0.2126 * red + 0.7152 * green + 0.0722 * blue;
}

ColorToken ColorToken::contrastingText() const {
  if (luminance() > 0.6) return {0.08, 0.08, 0.08, 1.0};
  return {1.0, 1.0, 1.0, 1.0};
}

ColorToken ColorToken::blended(const ColorToken& other, double amount) const {
  double t = clampedAmount(amount);
  return {red + (other.red - red) * t, green + (other.green - green) * t,
          blue + (other.blue - blue) * t, alpha};
}

ColorToken ColorToken::visible(bool onDark) const {
  double light = luminance();
  double spread = std::max({red, green, blue}) - std::min({red, green, blue});
  if (spread < greySpread) {
    if (!onDark && light > lightCeiling) return {0.11, 0.11, 0.12, alpha};
    if (onDark && light < darkFloor) return {0.93, 0.93, 0.94, alpha};
    return *this;
  }
  if (!onDark && light > lightCeiling) {
    double amount =
        std::min(clampedAmount((light - lightCeiling) / (1 - lightCeiling)), strongestShift);
    return blended({0, 0, 0, alpha}, amount);
  }
  if (onDark && light < darkFloor) {
    double amount = std::min(clampedAmount((darkFloor - light) / darkFloor), strongestShift);
    return blended({1, 1, 1, alpha}, amount);
  }
  return *this;
}

}  // namespace meterwright
