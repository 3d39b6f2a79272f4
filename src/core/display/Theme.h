#pragma once

#include "core/display/ColorToken.h"

namespace meterwright {

// The drawing colours of one appearance, as the menu rows use them. Background, text and muted
// equal the Tokens sets; the track is fainter than the tokens' (white 0.17 on dark, black 0.13 on
// light), as the rows were drawn from the start.
struct Theme {
  ColorToken background;
  ColorToken text;
  ColorToken muted;
  ColorToken track;
  bool isDark = false;

  bool operator==(const Theme&) const = default;

  static Theme resolve(bool dark);
};

// The two appearance-dependent colours of the menu bar image: the meter track and muted text.
namespace Palette {

ColorToken track(bool dark);
ColorToken mutedText(bool dark);

}  // namespace Palette

// Capsule helpers shared by the plan badges; the ink measurement lives with the text drawing.
namespace Chip {

// Near-black (0.08) on a colour whose luminance is above 0.6, else white.
ColorToken contrastingText(const ColorToken& on);

}  // namespace Chip

}  // namespace meterwright
