#pragma once

#include <string>
#include <vector>

#include "platform/tray/TrayMenu.h"

namespace meterwright {

// What the tray item shows besides its menu: the image at each size drawn, the tooltip, and the
// text label for hosts that put one beside the icon.
struct TrayPresentation {
  std::vector<TrayPixmap> pixmaps;
  std::string title = "Meterwright";
  std::string tooltipTitle;
  std::string tooltipText;
  std::string label;
  // The longest text `label` is expected to hold, so a host can reserve its width.
  std::string labelGuide;
  // While a window is at or below its warning threshold.
  bool needsAttention = false;

  bool operator==(const TrayPresentation&) const = default;
};

}  // namespace meterwright
