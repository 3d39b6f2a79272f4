#include "desktop/render/FooterRow.h"

#include <memory>

#include "core/display/Theme.h"
#include "desktop/render/TextLine.h"

namespace meterwright::FooterRow {

Image image(const std::string& text, double width, bool dark) {
  auto line = std::make_shared<TextLine>(text, Font{10, FontWeight::regular, true});
  ColorToken muted = Theme::resolve(dark).muted;
  return Image(width, height, [line, muted](cairo_t* cr) {
    // 6 points above the bottom edge.
    line->draw(cr, 21, height - 6 - line->height(), muted);
  });
}

}  // namespace meterwright::FooterRow
