#include "desktop/app/TraySurface.h"

#include "platform/tray/TrayItem.h"

namespace meterwright {

void TraySurface::show(const StatusPresentation& presentation, const TrayMenu& menu) {
  TrayPresentation shown;
  shown.pixmaps = presentation.pixmaps;
  shown.tooltipTitle = "Meterwright";
  shown.tooltipText = presentation.tooltip;
  shown.label = presentation.textLine.text;
  shown.needsAttention = presentation.needsAttention;
  tray_.setPresentation(shown);
  tray_.setMenu(menu);
}

}  // namespace meterwright
