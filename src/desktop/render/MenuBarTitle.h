#pragma once

#include <string>

namespace meterwright {

// The menu bar's text style as one line: what `--print` writes and what the tray shows when the
// configuration asks for text. The surfaces set it in the monospaced-digit system font at 12 pt
// and pick the colour from `colour`.
struct MenuBarTitle {
  enum class Colour { label, secondaryLabel, orange, red };

  std::string text;
  Colour colour = Colour::label;

  bool operator==(const MenuBarTitle&) const = default;
};

}  // namespace meterwright
