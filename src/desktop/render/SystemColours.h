#pragma once

#include "core/display/ColorToken.h"

// The platform colours named by role (system red, orange and green, the label colours), with
// the values the light and dark appearances give them, so every surface and both appearances
// agree.
namespace meterwright::SystemColours {

inline ColorToken red(bool dark) {
  return dark ? ColorToken{1.0, 0.271, 0.227, 1.0} : ColorToken{1.0, 0.231, 0.188, 1.0};
}
inline ColorToken orange(bool dark) {
  return dark ? ColorToken{1.0, 0.624, 0.039, 1.0} : ColorToken{1.0, 0.584, 0.0, 1.0};
}
inline ColorToken green(bool dark) {
  return dark ? ColorToken{0.188, 0.82, 0.345, 1.0} : ColorToken{0.204, 0.78, 0.349, 1.0};
}
inline ColorToken label(bool dark) {
  return dark ? ColorToken{1.0, 1.0, 1.0, 0.85} : ColorToken{0.0, 0.0, 0.0, 0.85};
}
inline ColorToken secondaryLabel(bool dark) {
  return dark ? ColorToken{1.0, 1.0, 1.0, 0.55} : ColorToken{0.0, 0.0, 0.0, 0.5};
}
inline ColorToken tertiaryLabel(bool dark) {
  return dark ? ColorToken{1.0, 1.0, 1.0, 0.25} : ColorToken{0.0, 0.0, 0.0, 0.26};
}

// Tokens::meterFill with these colours: red at or below half the threshold, orange at or below
// it, else `accent`; a threshold of 0 turns both off. Percentages.
inline ColorToken meterFill(double remaining, const ColorToken& accent, double warnBelow,
                            bool dark) {
  if (warnBelow > 0) {
    if (remaining <= warnBelow * 0.5) return red(dark);
    if (remaining <= warnBelow) return orange(dark);
  }
  return accent;
}

}  // namespace meterwright::SystemColours
