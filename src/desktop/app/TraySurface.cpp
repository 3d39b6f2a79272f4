#include "desktop/app/TraySurface.h"

#include <string>

#include "platform/tray/TrayItem.h"

namespace meterwright {

namespace {

// The label with every figure at three digits ("100%"), so hosts that show labels reserve room for
// the widest reading and the panel does not shift as figures grow.
std::string widestLabel(const std::string& label) {
  std::string guide;
  bool inFigure = false;
  for (char c : label) {
    bool digit = c >= '0' && c <= '9';
    if (digit && !inFigure) guide += "000";
    if (!digit) guide += c;
    inFigure = digit;
  }
  return guide;
}

}  // namespace

void TraySurface::show(const StatusPresentation& presentation, const TrayMenu& menu) {
  TrayPresentation shown;
  shown.pixmaps = presentation.pixmaps;
  shown.tooltipTitle = "Meterwright";
  shown.tooltipText = presentation.tooltip;
  shown.label = presentation.textLine.text;
  shown.labelGuide = widestLabel(shown.label);
  shown.needsAttention = presentation.needsAttention;
  tray_.setPresentation(shown);
  tray_.setMenu(menu);
}

}  // namespace meterwright
