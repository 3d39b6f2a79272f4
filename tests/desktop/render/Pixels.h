#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/display/ColorToken.h"
#include "desktop/render/Image.h"

namespace meterwright::testing {

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
