#pragma once

#include "core/display/ColorToken.h"
#include "desktop/render/Image.h"

// Small cairo helpers every surface draws with.
namespace meterwright {

// The colour as cairo's source, its alpha multiplied by `opacity`.
void setSource(cairo_t* cr, const ColorToken& colour, double opacity = 1);

// A rounded rectangle path; the radius is limited to half the shorter side.
void roundedRectangle(cairo_t* cr, const Rect& rect, double radius);

// A meter as every surface draws it: the capsule `rect` filled with `track`, then, when
// `fraction` is above 0 (at most 1), a capsule from the left edge at least `shortestFill` wide in
// `fill`; all clipped to the track's capsule.
void drawMeter(cairo_t* cr, const Rect& rect, const ColorToken& track, const ColorToken& fill,
               double fraction, double shortestFill);

}  // namespace meterwright
