#pragma once

#include <string>

#include "desktop/render/Image.h"

// The small status line at the bottom of the tray's popup.
namespace meterwright::FooterRow {

inline constexpr double defaultWidth = 360;
inline constexpr double height = 22;

// `text` at 21 points from the left in the muted colour of the appearance.
Image image(const std::string& text, double width, bool dark);

// Its accessibility label is its text.
inline std::string accessibilityLabel(const std::string& text) {
  return text;
}

}  // namespace meterwright::FooterRow
