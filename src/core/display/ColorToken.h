#pragma once

#include <optional>
#include <string_view>

namespace meterwright {

// An sRGB colour with alpha, each component nominally 0–1: the colour vocabulary every surface
// (and a paired device) shares, with the legibility rules that keep an accent readable.
struct ColorToken {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  bool operator==(const ColorToken&) const = default;

  // "#RRGGBB" or "#RRGGBBAA", the "#" optional, white space around it ignored; nothing for any
  // other text.
  static std::optional<ColorToken> fromHex(std::string_view text);

  // Rec. 709 weights.
  double luminance() const;
  // Near-black on a light colour, white on a dark one.
  ColorToken contrastingText() const;
  // Red, green and blue moved `amount` (clamped to 0–1, NaN as 0) of the way to `other`'s; alpha
  // kept.
  ColorToken blended(const ColorToken& other, double amount) const;
  // The colour made legible on a dark or light bar: a very light one darkened on light, a very
  // dark one lightened on dark; greys are replaced outright. Alpha kept.
  ColorToken visible(bool onDark) const;
};

}  // namespace meterwright
