#include "desktop/render/Shapes.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace meterwright {

void setSource(cairo_t* cr, const ColorToken& colour, double opacity) {
  cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, colour.alpha * opacity);
}

void roundedRectangle(cairo_t* cr, const Rect& rect, double radius) {
  double r = std::clamp(radius, 0.0, std::min(rect.width, rect.height) / 2);
  if (r <= 0) {
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    return;
  }
  double left = rect.x, top = rect.y, right = rect.x + rect.width, bottom = rect.y + rect.height;
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - r, top + r, r, -std::numbers::pi / 2, 0);
  cairo_arc(cr, right - r, bottom - r, r, 0, std::numbers::pi / 2);
  cairo_arc(cr, left + r, bottom - r, r, std::numbers::pi / 2, std::numbers::pi);
  cairo_arc(cr, left + r, top + r, r, std::numbers::pi, 3 * std::numbers::pi / 2);
  cairo_close_path(cr);
}

void drawMeter(cairo_t* cr, const Rect& rect, const ColorToken& track, const ColorToken& fill,
               double fraction, double shortestFill) {
  double radius = rect.height / 2;
  cairo_save(cr);
  roundedRectangle(cr, rect, radius);
  cairo_clip(cr);
  setSource(cr, track);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr);
  if (fraction > 0) {
    double share = std::min(fraction, 1.0);
    roundedRectangle(cr, {rect.x, rect.y, std::max(share * rect.width, shortestFill), rect.height},
                     radius);
    setSource(cr, fill);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

}  // namespace meterwright
