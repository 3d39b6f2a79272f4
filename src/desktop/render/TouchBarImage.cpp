#include "desktop/render/TouchBarImage.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "core/display/Theme.h"
#include "core/format/Format.h"
#include "core/text/TextCase.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::TouchBarImage {

namespace {

constexpr ColorToken primaryText{1, 1, 1, 1};
constexpr ColorToken secondaryText{1, 1, 1, 0.72};
constexpr ColorToken track{1, 1, 1, 0.22};
constexpr ColorToken dimmedIcon{1, 1, 1, 0.35};
constexpr ColorToken dimmedBadge{1, 1, 1, 0.4};
constexpr ColorToken white{1, 1, 1, 1};

constexpr double iconSize = 13;
constexpr double smallestStrip = 56;
constexpr double stripMeterWidth = 22;
constexpr double stripMeterHeight = 4;
constexpr double rowHeight = 15;

// The Touch Bar is always dark.
constexpr bool dark = true;

using Piece = std::function<void(cairo_t*)>;

Image replaying(double width, std::vector<Piece> pieces) {
  auto shared = std::make_shared<const std::vector<Piece>>(std::move(pieces));
  return Image(width, height, [shared](cairo_t* cr) {
    for (const Piece& piece : *shared) piece(cr);
  });
}

ColorToken entryColour(const DisplayEntry& entry) {
  return entry.accentToken.visible(dark);
}

std::optional<Image> iconOf(const DisplayEntry& entry, const RenderContext& context) {
  ColorToken tint = entry.hasData ? entryColour(entry) : dimmedIcon;
  return context.iconLoader().image(entry.iconName, iconSize, FontWeight::semibold, tint, dark);
}

const UsageWindow& scarcest(const std::vector<UsageWindow>& windows) {
  const UsageWindow* least = &windows.front();
  for (const UsageWindow& window : windows) {
    if (window.remainingPercent() < least->remainingPercent()) least = &window;
  }
  return *least;
}

ColorToken fillOf(const UsageWindow& window, const DisplayEntry& entry, const Config& config) {
  return SystemColours::meterFill(window.remainingPercent(), entryColour(entry),
                                  config.warnBelowRemainingPercent, dark);
}

}  // namespace

Image strip(const std::vector<DisplayEntry>& entries, const Config& config,
            const RenderContext& context) {
  std::vector<std::optional<Image>> icons;
  double width = 8;
  for (const DisplayEntry& entry : entries) {
    icons.push_back(iconOf(entry, context));
    width += icons.back() ? icons.back()->width() + 4 + stripMeterWidth + 9 : 48;
    if (!entry.hasData) width += 6;
  }
  width = entries.empty() ? 7 : width - 9 + 8;
  width = std::max(width, smallestStrip);

  std::vector<Piece> pieces;
  double x = 8;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DisplayEntry& entry = entries[i];
    if (const auto& icon = icons[i]) {
      double at = x;
      pieces.push_back(
          [icon = *icon, at](cairo_t* cr) { icon.draw(cr, at, (height - icon.height()) / 2); });
      x += icon->width();
    } else {
      x += iconSize;
    }
    x += 4;
    if (!entry.hasData || entry.windows.empty()) {
      auto dash = std::make_shared<TextLine>("\u2014", Font{12, FontWeight::regular, true});
      double at = x;
      pieces.push_back([dash, at](cairo_t* cr) {
        dash->draw(cr, at, (height - dash->height()) / 2, secondaryText);
      });
      x += dash->width() + 6;
    } else {
      const UsageWindow& window = scarcest(entry.windows);
      Rect meter{x, (height - stripMeterHeight) / 2, stripMeterWidth, stripMeterHeight};
      ColorToken fill = fillOf(window, entry, config);
      double fraction = window.usedPercent / 100;
      pieces.push_back([meter, fill, fraction](cairo_t* cr) {
        drawMeter(cr, meter, track, fill, fraction, stripMeterHeight);
      });
      x += stripMeterWidth;
    }
    x += 9;
  }
  return replaying(width, std::move(pieces));
}

Image detail(const std::vector<DisplayEntry>& entries, const Config& config, double width,
             const RenderContext& context) {
  if (!(width > 0) || !std::isfinite(width)) width = detailWidth;
  bool detailed = config.touchBarStyle == "detailed";
  double cellWidth = width / double(std::max<std::size_t>(entries.size(), 1));
  std::vector<Piece> pieces;
  auto centred = [](double rowTop, double boxHeight) {
    return rowTop + (rowHeight - boxHeight) / 2;
  };
  auto text = [&](const std::string& content, const Font& font, double x, double rowTop,
                  const ColorToken& colour) {
    auto line = std::make_shared<TextLine>(content, font);
    double top = centred(rowTop, line->height());
    pieces.push_back([line, x, top, colour](cairo_t* cr) { line->draw(cr, x, top, colour); });
    return line;
  };
  // The top row is the upper half of the picture; cairo counts from the top.
  constexpr double topRow = 0, bottomRow = rowHeight;

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DisplayEntry& entry = entries[i];
    double x0 = cellWidth * double(i) + 10;
    ColorToken colour = entryColour(entry);

    double x = x0;
    if (auto icon = iconOf(entry, context)) {
      double top = centred(topRow, icon->height());
      pieces.push_back([icon = *icon, x0, top](cairo_t* cr) { icon.draw(cr, x0, top); });
      x = x0 + icon->width() + 5;
    }
    auto label = text(entry.label, Font{11, FontWeight::semibold, true}, x, topRow, primaryText);
    x += label->width();
    if (config.showPlanBadge && entry.plan) {
      x += 5;
      auto line = std::make_shared<TextLine>(TextCase::uppercased(*entry.plan),
                                             Font{9, FontWeight::bold, false});
      Rect ink = line->ink();
      double h = std::round(ink.height + 8.55);
      double w = std::round(ink.width + 0.85 * h);
      Rect badge{x, centred(topRow, h), w, h};
      ColorToken fill = entry.hasData ? colour : dimmedBadge;
      ColorToken textColour = Chip::contrastingText(fill);
      pieces.push_back([line, badge, ink, fill, textColour](cairo_t* cr) {
        roundedRectangle(cr, badge, badge.height / 2);
        setSource(cr, fill);
        cairo_fill(cr);
        line->draw(cr, badge.x + (badge.width - ink.width) / 2 - ink.x,
                   badge.y + (badge.height - ink.height) / 2 - ink.y, textColour);
      });
    }

    if (!entry.hasData || entry.windows.empty()) {
      text(desktop::L("touchbar.unavailable", "unavailable"), Font{10, FontWeight::regular, true},
           x0, bottomRow, secondaryText);
      continue;
    }
    std::vector<UsageWindow> shown =
        detailed ? entry.windows : std::vector<UsageWindow>{scarcest(entry.windows)};
    double slotWidth = (cellWidth - 20) / double(shown.size());
    ColorToken labelColour = config.tintWindowLabels ? colour.blended(white, 0.25) : secondaryText;
    for (std::size_t j = 0; j < shown.size(); ++j) {
      const UsageWindow& window = shown[j];
      double slot = x0 + slotWidth * double(j);
      auto windowLabel =
          text(window.label(), Font{9, FontWeight::semibold, true}, slot, bottomRow, labelColour);
      std::string value = Format::headline(window, config.metric, context.now);
      if (config.showMetricWord && 100 - window.usedPercent >= 0.5) {
        value = Format::metricPhrase(value, config.metric);
      }
      auto valueLine = std::make_shared<TextLine>(value, Font{10, FontWeight::semibold, true});
      double valueX = slot + slotWidth - 4 - valueLine->width();
      text(value, Font{10, FontWeight::semibold, true}, valueX, bottomRow, primaryText);
      double meterWidth =
          std::max(slotWidth - windowLabel->width() - valueLine->width() - 14, 12.0);
      Rect meter{slot + windowLabel->width() + 5, centred(bottomRow, 5), meterWidth, 5};
      ColorToken fill = fillOf(window, entry, config);
      double fraction = window.usedPercent / 100;
      pieces.push_back([meter, fill, fraction](cairo_t* cr) {
        drawMeter(cr, meter, track, fill, fraction, meter.height);
      });
    }
  }
  return replaying(width, std::move(pieces));
}

}  // namespace meterwright::TouchBarImage
