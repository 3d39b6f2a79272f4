#include "desktop/windows/WindowStyle.h"

#include <cmath>
#include <cstdio>

#include "desktop/render/SystemColours.h"

namespace meterwright::WindowStyle {

ColorToken colour(Tone tone, bool dark) {
  switch (tone) {
    case Tone::primary:
      return SystemColours::label(dark);
    case Tone::secondary:
      return SystemColours::secondaryLabel(dark);
    case Tone::tertiary:
      return SystemColours::tertiaryLabel(dark);
    case Tone::orange:
      return SystemColours::orange(dark);
    case Tone::green:
      return SystemColours::green(dark);
  }
  return SystemColours::label(dark);
}

std::string_view toneClass(Tone tone) {
  switch (tone) {
    case Tone::primary:
      return "mw-primary";
    case Tone::secondary:
      return "mw-secondary";
    case Tone::tertiary:
      return "mw-tertiary";
    case Tone::orange:
      return "mw-orange";
    case Tone::green:
      return "mw-green";
  }
  return "mw-primary";
}

namespace {

std::string rgba(const ColorToken& colour) {
  auto byte = [](double component) { return int(std::lround(component * 255)); };
  char text[64];
  std::snprintf(text, sizeof text, "rgba(%d, %d, %d, %.3f)", byte(colour.red), byte(colour.green),
                byte(colour.blue), colour.alpha);
  return text;
}

}  // namespace

std::string stylesheet(bool dark) {
  std::string css;
  for (Tone tone : {Tone::primary, Tone::secondary, Tone::tertiary, Tone::orange, Tone::green}) {
    css += "." + std::string(toneClass(tone)) + " { color: " + rgba(colour(tone, dark)) + "; }\n";
  }
  css += "." + std::string(headingClass) + " { font-size: 17pt; font-weight: 600; }\n";
  css += "." + std::string(largeClass) + " { font-size: 12pt; }\n";
  css += "." + std::string(bodyClass) + " { font-size: 11pt; }\n";
  css += "." + std::string(smallClass) + " { font-size: 10pt; }\n";
  css += "." + std::string(codeClass) +
         " { font-family: monospace; font-size: 30pt; font-weight: 600;"
         " font-feature-settings: \"tnum\"; }\n";
  css += "." + std::string(qrClass) + " { background-color: white; border-radius: 10px; }\n";
  return css;
}

}  // namespace meterwright::WindowStyle
