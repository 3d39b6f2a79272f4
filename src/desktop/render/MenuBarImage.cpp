#include "desktop/render/MenuBarImage.h"

#include <cairo.h>

#include <cmath>
#include <functional>
#include <memory>

#include "core/display/Theme.h"
#include "core/format/Format.h"
#include "core/text/TextCase.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/Symbols.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"

namespace meterwright::MenuBarImage {

namespace {

constexpr double blockGap = 10;
constexpr double iconSize = 12;
constexpr double missingIconWidth = 12;
constexpr double iconGap = 4;
constexpr double meterY = 8.5;
constexpr double meterHeight = 5;
constexpr double labelGap = 3;
constexpr double badgeGap = 4;
constexpr double staleMarkerWidth = 12;
constexpr double staleMarkerBottom = 6;
constexpr double metricWordPadding = 5;

const Font figureFont{11, FontWeight::medium, true};
const Font windowLabelFont{10, FontWeight::semibold, true};
const Font dashFont{11, FontWeight::semibold, true};
const Font metricWordFont{10, FontWeight::semibold, true};
const Font badgeFont{8, FontWeight::bold, false};

using Piece = std::function<void(cairo_t*)>;

// The layout as it is built: the pen position and the drawing steps placed so far.
struct Layout {
  double x = 0;
  std::vector<Piece> pieces;

  void text(const std::shared_ptr<TextLine>& line, double at, const ColorToken& colour) {
    pieces.push_back([line, at, colour](cairo_t* cr) {
      line->draw(cr, at, (height - line->height()) / 2, colour);
    });
  }
};

// Compact: the window with the least remaining (the first of equals).
std::vector<UsageWindow> shownWindows(const DisplayEntry& entry, bool detailed) {
  if (detailed) return entry.windows;
  const UsageWindow* scarcest = &entry.windows.front();
  for (const UsageWindow& window : entry.windows) {
    if (window.remainingPercent() < scarcest->remainingPercent()) scarcest = &window;
  }
  return {*scarcest};
}

void layOutBadge(Layout& layout, const std::string& plan, const ColorToken& accent) {
  auto line = std::make_shared<TextLine>(TextCase::uppercased(plan), badgeFont);
  Rect ink = line->ink();
  double h = std::round(ink.height + 7.6);
  double w = std::round(ink.width + 0.85 * h);
  Rect capsule{layout.x, (height - h) / 2, w, h};
  ColorToken textColour = Chip::contrastingText(accent);
  layout.pieces.push_back([line, capsule, ink, accent, textColour](cairo_t* cr) {
    roundedRectangle(cr, capsule, capsule.height / 2);
    setSource(cr, accent);
    cairo_fill(cr);
    double centreX = capsule.x + capsule.width / 2, centreY = capsule.y + capsule.height / 2;
    line->draw(cr, centreX - ink.width / 2 - ink.x, centreY - ink.height / 2 - ink.y, textColour);
  });
  layout.x += w + badgeGap;
}

void layOutWindows(Layout& layout, const DisplayEntry& entry, const ColorToken& accent,
                   const Config& config, bool detailed, const RenderContext& context) {
  bool dark = context.dark;
  double meterWidth = detailed ? 26 : 30;
  double meterGap = detailed ? 3 : 4;
  ColorToken labelColour = config.tintWindowLabels ? accent : Palette::mutedText(dark);
  for (const UsageWindow& window : shownWindows(entry, detailed)) {
    if (detailed) {
      auto label = std::make_shared<TextLine>(window.label(), windowLabelFont);
      layout.text(label, layout.x, labelColour);
      layout.x += label->width() + labelGap;
    }
    ColorToken fill = SystemColours::meterFill(window.remainingPercent(), accent,
                                               config.warnBelowRemainingPercent, dark);
    if (entry.isStale) fill.alpha = 0.75;
    Rect meter{layout.x, height - meterY - meterHeight, meterWidth, meterHeight};
    double fraction = window.usedPercent / 100;
    ColorToken track = Palette::track(dark);
    layout.pieces.push_back([meter, track, fill, fraction](cairo_t* cr) {
      drawMeter(cr, meter, track, fill, fraction, meterHeight);
    });
    layout.x += meterWidth + meterGap;
    auto figure = std::make_shared<TextLine>(Format::headline(window, config.metric, context.now),
                                             figureFont);
    layout.text(figure, layout.x, SystemColours::label(dark));
    layout.x += figure->width() + (detailed ? 4 : 0);
  }
  if (detailed) layout.x -= 4;
}

}  // namespace

std::optional<Image> make(const std::vector<DisplayEntry>& entries, const Config& config,
                          bool stale, const RenderContext& context) {
  if (entries.empty()) return std::nullopt;
  bool detailed = config.menuBarStyle == "detailed";
  bool dark = context.dark;
  ColorToken muted = Palette::mutedText(dark);
  Layout layout;

  std::shared_ptr<TextLine> word;
  double wordWidth = 0;
  bool wordLeads = Format::metricWordLeads();
  if (config.showMetricWord) {
    word = std::make_shared<TextLine>(Format::metricWord(config.metric), metricWordFont);
    wordWidth = word->width() + metricWordPadding;
  }
  if (word && wordLeads) {
    layout.text(word, 0, muted);
    layout.x = wordWidth;
  }

  if (stale) {
    auto marker = Symbols::image("exclamationmark.triangle.fill", 9, FontWeight::medium,
                                 SystemColours::orange(dark));
    if (marker) {
      double at = layout.x, top = height - staleMarkerBottom - marker->height();
      layout.pieces.push_back(
          [marker = *marker, at, top](cairo_t* cr) { marker.draw(cr, at, top); });
    }
    layout.x += staleMarkerWidth;
  }

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DisplayEntry& entry = entries[i];
    ColorToken accent = entry.accentToken.visible(dark);
    ColorToken tint = entry.hasData ? accent : SystemColours::tertiaryLabel(dark);
    auto icon =
        context.iconLoader().image(entry.iconName, iconSize, FontWeight::medium, tint, dark);
    if (icon) {
      double at = layout.x, opacity = entry.isStale ? 0.75 : 1.0;
      layout.pieces.push_back([icon = *icon, at, opacity](cairo_t* cr) {
        icon.draw(cr, at, (height - icon.height()) / 2, opacity);
      });
      layout.x += iconGap + icon->width();
    } else {
      layout.x += iconGap + missingIconWidth;
    }

    if (detailed && config.showPlanBadge && entry.plan) layOutBadge(layout, *entry.plan, accent);

    if (entry.hasData && !entry.windows.empty()) {
      layOutWindows(layout, entry, accent, config, detailed, context);
    } else {
      auto dash = std::make_shared<TextLine>("\u2014", dashFont);
      layout.text(dash, layout.x, muted);
      layout.x += dash->width();
    }
    if (i + 1 < entries.size()) layout.x += blockGap;
  }

  if (word && !wordLeads) {
    layout.text(word, layout.x + metricWordPadding, muted);
    layout.x += wordWidth;
  }

  auto pieces = std::make_shared<const std::vector<Piece>>(std::move(layout.pieces));
  return Image(layout.x, height, [pieces](cairo_t* cr) {
    for (const Piece& piece : *pieces) piece(cr);
  });
}

}  // namespace meterwright::MenuBarImage
