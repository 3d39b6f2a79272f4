#include "desktop/render/TextLine.h"

#include <pango/pangocairo.h>

#include <string>

#include "desktop/render/Shapes.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define METERWRIGHT_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define METERWRIGHT_ADDRESS_SANITIZER 1
#endif

#ifdef METERWRIGHT_ADDRESS_SANITIZER
// Fontconfig keeps its configuration and font patterns for the life of the process and never
// frees them; the leak checker would otherwise report every process that drew a line of text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif

namespace meterwright {

namespace {

// One Pango context per thread (Pango's font maps are per thread): hinting off, so a line
// measures the same at every scale and the layout never depends on the screen.
PangoContext* context() {
  struct Holder {
    PangoContext* context;
    Holder() {
      context = pango_font_map_create_context(pango_cairo_font_map_get_default());
      cairo_font_options_t* options = cairo_font_options_create();
      cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
      cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
      cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
      pango_cairo_context_set_font_options(context, options);
      cairo_font_options_destroy(options);
      pango_context_set_round_glyph_positions(context, FALSE);
    }
    ~Holder() { g_object_unref(context); }
  };
  thread_local Holder holder;
  return holder.context;
}

PangoWeight pangoWeight(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular:
      return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium:
      return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold:
      break;
  }
  return PANGO_WEIGHT_BOLD;
}

std::string validUtf8(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::string(text);
  }
  gchar* repaired = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result(repaired);
  g_free(repaired);
  return result;
}

// Far beyond any label a person writes, and short enough that the line's extent stays inside
// Pango's integer units and its layout takes milliseconds, whatever a hand-edited file holds.
constexpr std::size_t longestText = 64 * 1024;

std::string_view bounded(std::string_view text) {
  if (text.size() <= longestText) return text;
  std::size_t end = longestText;
  // Back to the start of a UTF-8 sequence.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// Line breaks would make a second line; every text here is one line.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

TextLine::TextLine(std::string_view text, const Font& font) {
  PangoLayout* layout = pango_layout_new(context());
  layout_.reset(layout, g_object_unref);

  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family_static(description, "sans");
  pango_font_description_set_weight(description, pangoWeight(font.weight));
  pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  if (font.digits) {
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum 1"));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
  }
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  std::string line = oneLine(validUtf8(bounded(text)));
  pango_layout_set_text(layout, line.data(), static_cast<int>(line.size()));

  PangoRectangle inkBox, logical;
  pango_layout_get_extents(layout, &inkBox, &logical);
  width_ = double(logical.width) / PANGO_SCALE;
  height_ = double(logical.height) / PANGO_SCALE;
  ink_ = {double(inkBox.x - logical.x) / PANGO_SCALE, double(inkBox.y - logical.y) / PANGO_SCALE,
          double(inkBox.width) / PANGO_SCALE, double(inkBox.height) / PANGO_SCALE};
  originX_ = double(logical.x) / PANGO_SCALE;
  originY_ = double(logical.y) / PANGO_SCALE;
}

void TextLine::draw(cairo_t* cr, double x, double y, const ColorToken& colour) const {
  cairo_save(cr);
  setSource(cr, colour);
  cairo_move_to(cr, x - originX_, y - originY_);
  pango_cairo_show_layout(cr, layout_.get());
  cairo_restore(cr);
}

namespace Chip {

Rect inkBounds(std::string_view text, const Font& font) {
  return TextLine(text, font).ink();
}

}  // namespace Chip

}  // namespace meterwright
