#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "core/display/ColorToken.h"
#include "core/display/DisplayEntry.h"
#include "desktop/render/Image.h"

namespace meterwright::testing {

// The accent the drawing tests give their providers, so its pixels can be told apart.
inline const ColorToken testAccent{10 / 255.0, 132 / 255.0, 1, 1};

// A provider with data, no icon (a symbol name without a drawing) and the given windows.
inline DisplayEntry iconlessEntry(std::vector<UsageWindow> windows) {
  DisplayEntry entry;
  entry.id = "claude";
  entry.name = "Claude";
  entry.label = "Cl";
  entry.accentToken = testAccent;
  entry.iconName = "no.such.symbol";
  entry.hasData = true;
  entry.windows = windows;
  entry.detailedWindows = std::move(windows);
  return entry;
}

// Whether a pixel shows `colour`: its components within rounding, its alpha within what the
// anti-aliasing of a shape's edge leaves (so a pixel on a capsule's rounded end still counts).
inline bool shows(const Bitmap::Pixel& pixel, const ColorToken& colour, int tolerance = 3) {
  auto near = [&](int actual, double expected, int within) {
    return std::abs(actual - int(std::lround(expected * 255))) <= within;
  };
  return near(pixel.alpha, colour.alpha, std::max(tolerance, 16)) &&
         (pixel.alpha == 0 ||
          (near(pixel.red, colour.red, tolerance) && near(pixel.green, colour.green, tolerance) &&
           near(pixel.blue, colour.blue, tolerance)));
}

// How many pixels of row `y`, from `x` rightwards, show `colour` before one does not.
inline int runOf(const Bitmap& bitmap, int x, int y, const ColorToken& colour) {
  int count = 0;
  while (x + count < bitmap.pixelWidth() && shows(bitmap.pixel(x + count, y), colour)) ++count;
  return count;
}

// The first column of row `y` that shows `colour`, or -1.
inline int firstOf(const Bitmap& bitmap, int y, const ColorToken& colour) {
  for (int x = 0; x < bitmap.pixelWidth(); ++x) {
    if (shows(bitmap.pixel(x, y), colour)) return x;
  }
  return -1;
}

}  // namespace meterwright::testing
