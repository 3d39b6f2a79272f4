#include "desktop/windows/QrImage.h"

#include <cairo.h>

#include <algorithm>

namespace meterwright::QrImage {

namespace {

int modulesWithQuietZone(const QrCode& code) {
  return code.size + 2 * QrCode::quietZone;
}

}  // namespace

int modulePixels(const QrCode& code, int sidePixels) {
  return std::max(1, sidePixels / modulesWithQuietZone(code));
}

void draw(cairo_t* cr, const QrCode& code, int modulePixels, int x, int y) {
  cairo_save(cr);
  // Whole-pixel rectangles need no smoothing, and smoothing is what would make edges grey.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  int side = modulesWithQuietZone(code) * modulePixels;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, x, y, side, side);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  int origin = QrCode::quietZone * modulePixels;
  for (int row = 0; row < code.size; ++row) {
    for (int column = 0; column < code.size; ++column) {
      if (!code.isDark(column, row)) continue;
      cairo_rectangle(cr, x + origin + column * modulePixels, y + origin + row * modulePixels,
                      modulePixels, modulePixels);
    }
  }
  cairo_fill(cr);
  cairo_restore(cr);
}

void drawCentred(cairo_t* cr, const QrCode& code, int sidePixels) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, sidePixels, sidePixels);
  cairo_fill(cr);
  cairo_restore(cr);
  int module = modulePixels(code, sidePixels);
  int offset = (sidePixels - modulesWithQuietZone(code) * module) / 2;
  draw(cr, code, module, offset, offset);
}

Bitmap render(const QrCode& code, int sidePixels) {
  Bitmap bitmap(sidePixels, sidePixels, 1);
  cairo_t* cr = cairo_create(bitmap.surface());
  drawCentred(cr, code, bitmap.pixelWidth());
  cairo_destroy(cr);
  cairo_surface_flush(bitmap.surface());
  return bitmap;
}

}  // namespace meterwright::QrImage
