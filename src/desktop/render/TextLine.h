#pragma once

#include <memory>
#include <string_view>

#include "core/display/ColorToken.h"
#include "desktop/render/Image.h"

typedef struct _PangoLayout PangoLayout;

namespace meterwright {

enum class FontWeight { regular, medium, semibold, bold };

// The system font (fontconfig's sans) at a size in points.
struct Font {
  double size = 13;
  FontWeight weight = FontWeight::regular;
  // The monospaced-digit variant (OpenType "tnum"), so figures do not jitter as they change.
  bool digits = false;
};

// One line of text set in a font, measured once and drawn wherever its layout puts it. Text that
// is not UTF-8 is repaired (each bad byte a replacement character), never refused.
class TextLine {
 public:
  TextLine(std::string_view text, const Font& font);

  // The typographic (logical) size.
  double width() const { return width_; }
  double height() const { return height_; }
  // The glyph ink, relative to the line's top-left corner.
  const Rect& ink() const { return ink_; }

  // With the line's top-left corner at (x, y).
  void draw(cairo_t* cr, double x, double y, const ColorToken& colour) const;

 private:
  std::shared_ptr<PangoLayout> layout_;
  double width_ = 0;
  double height_ = 0;
  Rect ink_;
  // Where the logical box starts relative to the layout's own origin.
  double originX_ = 0;
  double originY_ = 0;
};

namespace Chip {

// The ink (glyph-path) bounds of `text` in `font`, not its typographic box: a badge sized from it
// follows the capitals' actual height.
Rect inkBounds(std::string_view text, const Font& font);

}  // namespace Chip

}  // namespace meterwright
