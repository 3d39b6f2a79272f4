#pragma once

#include "desktop/render/Image.h"

// Where the tray's popup goes, given where the tray item was clicked: centred on the pointer,
// below it when the pointer is in the upper half of its monitor (a panel at the top), above it
// otherwise, and kept inside the monitor.
namespace meterwright::PopupPlacement {

struct Point {
  int x = 0;
  int y = 0;

  bool operator==(const Point&) const = default;
};

// The popup's top-left corner, in the units of `monitor` and the pointer.
Point origin(Point pointer, int width, int height, const Rect& monitor);

}  // namespace meterwright::PopupPlacement
