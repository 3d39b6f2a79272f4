#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/display/DisplayEntry.h"
#include "desktop/render/MenuBarTitle.h"
#include "platform/tray/TrayMenu.h"

namespace meterwright {

// What the tray item shows for the latest reading, as plain values.
struct StatusPresentation {
  // The tray picture at each size the surface asked for: the reading's, or the application icon
  // when the item shows `title` instead (style "text", or nothing to draw yet).
  std::vector<TrayPixmap> pixmaps;
  // Shown when there is no image.
  MenuBarTitle title;
  // The text line for hosts that show a label beside the icon, whatever the style.
  MenuBarTitle textLine;
  std::string accessibilityLabel;
  std::string accessibilityValue;
  std::string tooltip;
  // Some shown window is at or below the warning threshold.
  bool needsAttention = false;
  // What the popup draws: the rows and the footer line (nothing without a reading).
  std::vector<DisplayEntry> entries;
  std::optional<std::string> footer;

  bool operator==(const StatusPresentation&) const = default;
};

// Where the application shows itself: the tray item and its menu. Called on the main thread after
// every change, with everything at once.
class StatusSurface {
 public:
  virtual ~StatusSurface() = default;
  virtual void show(const StatusPresentation& presentation, const TrayMenu& menu) = 0;
};

}  // namespace meterwright
