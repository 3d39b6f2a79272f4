#include "desktop/windows/PopupPlacement.h"

#include <algorithm>
#include <cmath>

namespace meterwright::PopupPlacement {

namespace {

// `start` moved so [start, start + length) lies in [low, high); a popup larger than the monitor
// starts at its edge.
int within(int start, int length, double low, double high) {
  int lowest = int(std::lround(low));
  int highest = int(std::lround(high)) - length;
  return std::max(lowest, std::min(start, highest));
}

}  // namespace

Point origin(Point pointer, int width, int height, const Rect& monitor) {
  bool below = pointer.y < monitor.y + monitor.height / 2;
  int x = within(pointer.x - width / 2, width, monitor.x, monitor.x + monitor.width);
  int y =
      within(below ? pointer.y : pointer.y - height, height, monitor.y, monitor.y + monitor.height);
  return {x, y};
}

}  // namespace meterwright::PopupPlacement
