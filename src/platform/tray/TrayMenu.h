#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace meterwright {

// What choosing a menu item asks the application to do.
enum class TrayAction {
  none,
  refreshNow,
  openSettings,
  openSetup,
  openPairing,
  reloadConfig,
  toggleLaunchAtLogin,
  toggleTouchBar,
  quit,
};

// One line of the tray's menu as the application builds it, in the terms a menu exporter
// (com.canonical.dbusmenu) can show: hosts draw text, separators and check marks, not custom
// views, so a provider row becomes a heading and one line per window.
struct TrayMenuItem {
  enum class Kind {
    // A line the user can choose (when `enabled`).
    action,
    // Information only: always shown disabled.
    text,
    // Information in the small secondary style; hosts that cannot show it draw plain text.
    smallText,
    separator,
  };

  Kind kind = Kind::text;
  std::string label;
  bool enabled = false;
  // Present for items with a check mark: whether it is on.
  std::optional<bool> checked;
  TrayAction action = TrayAction::none;
  // A key the host may show beside the label ("r", "q"); empty for none.
  std::string shortcut;

  bool operator==(const TrayMenuItem&) const = default;
};

// The whole menu, rebuilt from scratch on every change and exported as one new layout.
struct TrayMenu {
  std::vector<TrayMenuItem> items;

  bool operator==(const TrayMenu&) const = default;
};

// One size of the tray image: ARGB32 pixels, row by row, premultiplied, each pixel a 32-bit
// value in this machine's byte order (cairo's format); the exporter converts it to the network
// byte order StatusNotifierItem hosts read.
struct TrayPixmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  bool operator==(const TrayPixmap&) const = default;
};

}  // namespace meterwright
