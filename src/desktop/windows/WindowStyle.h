#pragma once

#include <string>
#include <string_view>

#include "core/display/ColorToken.h"

// The look the windows share: text colours named by role, with the values of the drawing code
// (SystemColours), and the style sheet that gives GTK those colours and the text sizes.
namespace meterwright::WindowStyle {

enum class Tone { primary, secondary, tertiary, orange, green };

ColorToken colour(Tone tone, bool dark);

// The style class that gives a widget the tone's colour.
std::string_view toneClass(Tone tone);

// Text sizes, as style classes: heading 17 pt semibold, large 12 pt, body 11 pt, small 10 pt, and
// the pairing code in 30 pt semibold monospaced digits.
inline constexpr std::string_view headingClass = "mw-heading";
inline constexpr std::string_view largeClass = "mw-large";
inline constexpr std::string_view bodyClass = "mw-body";
inline constexpr std::string_view smallClass = "mw-small";
inline constexpr std::string_view codeClass = "mw-code";
// The light square behind a QR code.
inline constexpr std::string_view qrClass = "mw-qr";

// The CSS for one appearance.
std::string stylesheet(bool dark);

}  // namespace meterwright::WindowStyle
