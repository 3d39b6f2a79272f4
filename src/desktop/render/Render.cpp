#include "desktop/render/Render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/format/ClampedInteger.h"
#include "core/format/Format.h"
#include "desktop/text/DesktopText.h"

namespace meterwright {

namespace {

// barSegments comes from a hand-edited file; a huge count must not build a line of gigabytes.
constexpr int mostSegments = 100;

std::string windowText(const UsageWindow& window, const Config& config, Date now) {
  std::string figure = Format::headline(window, config.metric, now);
  std::string text;
  if (config.style == "bar") {
    text = Render::meter(window.usedPercent, config.barSegments);
  } else if (config.style == "both") {
    text = Render::meter(window.usedPercent, config.barSegments) + " " + figure;
  } else {
    text = figure;
  }
  if (config.showWindowLabels) text = window.label() + " " + text;
  return text;
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += separator;
    text += parts[i];
  }
  return text;
}

}  // namespace

namespace Render {

std::string meter(double usedPercent, int segments) {
  segments = std::clamp(segments, 0, mostSegments);
  long long filled =
      std::clamp<long long>(clampedInteger(std::round(usedPercent / 100 * segments)), 0, segments);
  std::string text;
  for (long long i = 0; i < segments; ++i) text += i < filled ? "\u25B0" : "\u25B1";
  return text;
}

MenuBarTitle title(const std::optional<Snapshot>& snapshot, const Config& config, Date now) {
  if (!snapshot) {
    return {desktop::L("menubar.noReading", "Meterwright \u2014"),
            MenuBarTitle::Colour::secondaryLabel};
  }

  std::vector<std::string> segments;
  double smallestRemaining = 100;
  for (const ProviderConfig& entry : config.enabledProviders()) {
    const ProviderSnapshot* provider = snapshot->provider(entry.id);
    if (!provider) continue;
    std::vector<UsageWindow> windows = Format::windows(*provider, entry);
    if (!provider->hasData() || windows.empty()) {
      segments.push_back(entry.label + " \u2014");
      continue;
    }
    std::vector<std::string> parts;
    std::string head = entry.label;
    if (provider->isStale()) head += "\u00B0";
    if (config.showPlanBadge && provider->plan) head += " " + *provider->plan;
    parts.push_back(head);
    for (const UsageWindow& window : windows) {
      parts.push_back(windowText(window, config, now));
      smallestRemaining = std::min(smallestRemaining, window.remainingPercent());
    }
    segments.push_back(joined(parts, " "));
  }

  std::string text;
  if (segments.empty()) {
    // A notice, not a number: "No providers enabled left" would read as nonsense.
    text = desktop::L("menubar.noProviders", "No providers enabled");
  } else {
    text = joined(segments, config.separator);
    if (config.showMetricWord) text = Format::metricPhrase(text, config.metric);
  }
  if (secondsBetween(snapshot->generatedAt, now) / 60 > config.staleAfterMinutes) {
    text = "\u26A0 " + text;
  }

  MenuBarTitle::Colour colour = MenuBarTitle::Colour::label;
  int warnBelow = config.warnBelowRemainingPercent;
  if (warnBelow >= 1) {
    if (smallestRemaining <= warnBelow * 0.5) {
      colour = MenuBarTitle::Colour::red;
    } else if (smallestRemaining <= warnBelow) {
      colour = MenuBarTitle::Colour::orange;
    }
  }
  return {text, colour};
}

}  // namespace Render

}  // namespace meterwright
