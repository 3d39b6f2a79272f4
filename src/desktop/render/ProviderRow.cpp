#include "desktop/render/ProviderRow.h"

#include <cairo.h>

#include <algorithm>
#include <memory>

#include "core/display/Theme.h"
#include "core/format/Format.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::ProviderRow {

namespace {

constexpr double headerHeight = 24;
constexpr double windowHeight = 36;
constexpr double headingHeight = 18;
constexpr double headerTopOffset = 4.5;
constexpr double inset = 21;
constexpr double bottomPadding = 3;
constexpr double iconSize = 14;
constexpr double iconGap = 8;
constexpr double meterLeft = 53;
constexpr double meterMargins = 120;
constexpr double meterHeight = 7;

const Font nameFont{13, FontWeight::semibold, false};
const Font pillFont{10, FontWeight::semibold, true};
const Font noDataFont{11, FontWeight::regular, true};
const Font groupFont{10, FontWeight::semibold, true};
const Font labelFont{11, FontWeight::semibold, true};
const Font valueFont{12, FontWeight::semibold, true};
const Font smallFont{10, FontWeight::semibold, true};
const Font captionFont{10, FontWeight::regular, true};

std::vector<UsageWindow> drawnWindows(const DisplayEntry& entry) {
  return entry.hasData ? entry.detailedWindows : std::vector<UsageWindow>{};
}

ColorToken withAlpha(ColorToken colour, double alpha) {
  colour.alpha = alpha;
  return colour;
}

// The row is laid out from the bottom edge upward; cairo counts from the top. `rowHeight`
// minus the bottom of a box and its height gives its top.
struct Flip {
  double rowHeight;
  double top(double bottom, double boxHeight) const { return rowHeight - bottom - boxHeight; }
};

// A capsule behind `text` at (x, bottom): returns how far the next one starts.
double drawPill(cairo_t* cr, const Flip& flip, const std::string& text, double x, double bottom,
                const ColorToken& colour) {
  TextLine line(text, pillFont);
  double w = line.width() + 12, h = line.height() + 4;
  double top = flip.top(bottom, h);
  roundedRectangle(cr, {x, top, w, h}, h / 2);
  setSource(cr, withAlpha(colour, 0.18));
  cairo_fill(cr);
  line.draw(cr, x + 6, top + 2, colour);
  return w + 6;
}

void drawWindow(cairo_t* cr, const Flip& flip, double width, double top, const UsageWindow& window,
                const DisplayEntry& entry, const Config& config, const Theme& theme,
                const ColorToken& accent, Date now) {
  ColorToken labelColour = config.tintWindowLabels ? accent : theme.muted;
  TextLine label(window.label(), labelFont);
  label.draw(cr, inset, flip.top(top + 19, label.height()), labelColour);

  double remaining = 100 - window.usedPercent;
  int warn = config.warnBelowRemainingPercent;
  ColorToken fill = accent;
  if (warn >= 1 && remaining <= warn / 2.0) {
    fill = SystemColours::red(theme.isDark);
  } else if (warn >= 1 && remaining <= warn) {
    fill = SystemColours::orange(theme.isDark);
  }
  // A window whose reset has passed is empty until the next reading says otherwise.
  bool hasReset = window.resetsAt && *window.resetsAt <= now;
  double fraction = hasReset ? 0 : window.usedPercent / 100;
  if (entry.isStale) fill.alpha = 0.78;
  Rect meter{meterLeft, flip.top(top + 20, meterHeight), width - meterMargins, meterHeight};
  drawMeter(cr, meter, theme.track, fill, fraction, meterHeight);

  TextLine value(Format::headline(window, config.metric, now), valueFont);
  value.draw(cr, width - inset - value.width(), flip.top(top + 21, value.height()), theme.text);
  if (config.showMetricWord) {
    TextLine word(Format::metricWord(config.metric), smallFont);
    word.draw(cr, width - inset - word.width(), flip.top(top + 8, word.height()), labelColour);
  }
  TextLine caption(Format::caption(window, now), captionFont);
  caption.draw(cr, meterLeft, flip.top(top + 4, caption.height()), labelColour);
}

void draw(cairo_t* cr, const DisplayEntry& entry, const Config& config, double width,
          double rowHeight, const RenderContext& context) {
  Theme theme = Theme::resolve(context.dark);
  Flip flip{rowHeight};
  ColorToken accent = entry.accentToken.visible(theme.isDark);
  double top = rowHeight - headerHeight - headerTopOffset;

  double x = inset;
  ColorToken tint = entry.hasData ? accent : theme.muted;
  if (auto icon = context.iconLoader().image(entry.iconName, iconSize, FontWeight::semibold, tint,
                                             theme.isDark)) {
    icon->draw(cr, inset, flip.top(top + (headerHeight - icon->height()) / 2, icon->height()));
    x = inset + icon->width() + iconGap;
  }
  TextLine name(entry.name, nameFont);
  name.draw(cr, x, flip.top(top + (headerHeight - name.height()) / 2, name.height()), theme.text);
  x += name.width() + 8;
  if (config.showPlanBadge && entry.plan) x += drawPill(cr, flip, *entry.plan, x, top + 6, accent);
  if (entry.isStale) drawPill(cr, flip, desktop::L("row.stale", "stale"), x, top + 6, theme.muted);

  if (!entry.hasData || entry.detailedWindows.empty()) {
    TextLine noData(desktop::L("row.noData", "no usage data"), noDataFont);
    noData.draw(cr, inset, flip.top(top - 20, noData.height()), theme.muted);
    return;
  }
  std::optional<std::string> previousGroup;
  for (const UsageWindow& window : entry.detailedWindows) {
    if (window.group && window.group != previousGroup) {
      top -= headingHeight;
      TextLine heading(*window.group, groupFont);
      heading.draw(cr, inset, flip.top(top + 4, heading.height()), theme.muted);
    }
    previousGroup = window.group;
    top -= windowHeight;
    drawWindow(cr, flip, width, top, window, entry, config, theme, accent, context.now);
  }
}

}  // namespace

int headingCount(const std::vector<UsageWindow>& windows) {
  int count = 0;
  std::optional<std::string> previous;
  for (const UsageWindow& window : windows) {
    if (window.group && window.group != previous) ++count;
    previous = window.group;
  }
  return count;
}

double height(const DisplayEntry& entry) {
  std::vector<UsageWindow> windows = drawnWindows(entry);
  double shown = std::max<double>(double(windows.size()), 1);
  return shown * windowHeight + headerHeight + headingHeight * headingCount(windows) +
         bottomPadding;
}

Image image(const DisplayEntry& entry, const Config& config, double width,
            const RenderContext& context) {
  double rowHeight = height(entry);
  return Image(width, rowHeight, [entry, config, width, rowHeight, context](cairo_t* cr) {
    draw(cr, entry, config, width, rowHeight, context);
  });
}

std::string accessibilityLabel(const DisplayEntry& entry, Date now) {
  std::vector<std::string> parts{entry.name};
  if (entry.plan) parts.push_back(desktop::L("row.a11y.plan", "%@ plan", *entry.plan));
  if (entry.hasData) {
    for (const UsageWindow& window : entry.windows) {
      parts.push_back(desktop::L("row.a11y.window", "%1$@ window, %2$@ used", window.label(),
                                 Format::percent(window.usedPercent)));
      if (auto left = window.resetsIn(now)) {
        parts.push_back(desktop::L("row.a11y.resets", "resets in %@", Format::relative(*left)));
      }
    }
    if (entry.isStale) parts.push_back(desktop::L("row.a11y.stale", "reading is not current"));
  } else {
    parts.push_back(desktop::L("row.noData", "no usage data"));
  }
  std::string label;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) label += ", ";
    label += parts[i];
  }
  return label;
}

}  // namespace meterwright::ProviderRow
