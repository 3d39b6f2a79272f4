#include "desktop/render/SquareStatusImage.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "core/display/Theme.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"

namespace meterwright::SquareStatusImage {

namespace {

constexpr double ringWidth = 2.5;
constexpr double ringRadius = (side - ringWidth) / 2;

struct Scarcest {
  const DisplayEntry* entry = nullptr;
  const UsageWindow* window = nullptr;
};

// The window with the least remaining among the providers with data (the first of equals).
Scarcest scarcest(const std::vector<DisplayEntry>& entries) {
  Scarcest found;
  for (const DisplayEntry& entry : entries) {
    if (!entry.hasData) continue;
    for (const UsageWindow& window : entry.windows) {
      if (!found.window || window.remainingPercent() < found.window->remainingPercent())
        found = {&entry, &window};
    }
  }
  return found;
}

// The figure without its sign: the ring says it is a share, and three digits is all that fits.
std::string figure(const UsageWindow& window, Config::Metric metric) {
  double value = metric == Config::Metric::used ? window.usedPercent : window.remainingPercent();
  if (!std::isfinite(value)) return "\u2014";
  return std::to_string(std::lround(std::clamp(value, 0.0, 999.0)));
}

void ring(cairo_t* cr, double from, double to, const ColorToken& colour) {
  cairo_new_path(cr);
  cairo_arc(cr, side / 2, side / 2, ringRadius, from, to);
  setSource(cr, colour);
  cairo_set_line_width(cr, ringWidth);
  cairo_stroke(cr);
}

}  // namespace

std::optional<Image> make(const std::vector<DisplayEntry>& entries, const Config& config,
                          bool stale, const RenderContext& context) {
  if (entries.empty()) return std::nullopt;
  bool dark = context.dark;
  ColorToken track = Palette::track(dark);
  Scarcest shown = scarcest(entries);

  double fraction = 0;
  ColorToken fill = track;
  std::string text = "\u2014";
  ColorToken textColour = Palette::mutedText(dark);
  if (shown.window) {
    fraction = std::clamp(shown.window->usedPercent / 100, 0.0, 1.0);
    if (std::isnan(fraction)) fraction = 1;
    fill = SystemColours::meterFill(shown.window->remainingPercent(),
                                    shown.entry->accentToken.visible(dark),
                                    config.warnBelowRemainingPercent, dark);
    if (shown.entry->isStale) fill.alpha = 0.75;
    text = figure(*shown.window, config.metric);
    textColour = stale ? SystemColours::secondaryLabel(dark) : SystemColours::label(dark);
  }
  // Two digits are set larger than three, so "100" still fits inside the ring.
  Font font{text.size() > 2 ? 8.5 : 10.5, FontWeight::bold, true};
  auto line = std::make_shared<TextLine>(text, font);

  return Image(side, side, [=](cairo_t* cr) {
    constexpr double top = -std::numbers::pi / 2;
    ring(cr, 0, 2 * std::numbers::pi, track);
    // The used share runs clockwise from the top, as the wide picture's meter runs rightwards.
    if (fraction > 0) ring(cr, top, top + fraction * 2 * std::numbers::pi, fill);
    const Rect& ink = line->ink();
    line->draw(cr, side / 2 - ink.x - ink.width / 2, side / 2 - ink.y - ink.height / 2, textColour);
  });
}

}  // namespace meterwright::SquareStatusImage
