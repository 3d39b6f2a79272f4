#pragma once

#include "core/display/ColorToken.h"

// The colours the surfaces share, for a light and a dark appearance, and the meter colour rule.
namespace meterwright::Tokens {

struct Set {
  ColorToken background;
  ColorToken text;
  ColorToken muted;
  ColorToken track;

  bool operator==(const Set&) const = default;
};

inline constexpr Set light{{1.0, 1.0, 1.0, 1.0},
                           {0.086, 0.094, 0.114, 1.0},
                           {0.404, 0.435, 0.49, 1.0},
                           {0.0, 0.0, 0.0, 0.17}};
inline constexpr Set dark{{0.145, 0.157, 0.184, 1.0},
                          {0.949, 0.957, 0.973, 1.0},
                          {0.647, 0.686, 0.749, 1.0},
                          {1.0, 1.0, 1.0, 0.2}};

inline constexpr ColorToken warning{1.0, 0.584, 0.0, 1.0};
inline constexpr ColorToken critical{1.0, 0.271, 0.227, 1.0};
// An accent that does not parse.
inline constexpr ColorToken fallbackAccent{0.5, 0.5, 0.55, 1.0};

inline const Set& set(bool isDark) {
  return isDark ? dark : light;
}

// The meter's colour: critical at or below half the warning threshold, warning at or below it,
// else the accent. A threshold of 0 (or less) turns both off. Percentages.
ColorToken meterFill(double remaining, const ColorToken& accent, double warnBelow);

}  // namespace meterwright::Tokens
