#include "cli/WaybarOutput.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/format/ClampedInteger.h"
#include "core/format/Format.h"
#include "core/json/JsonText.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::WaybarOutput {

namespace {

// "Claude Code 5h  58% left · resets in 2h 5m", in the configured metric.
std::string tooltipLine(const std::string& label, const UsageWindow& window, const Config& config,
                        Date now) {
  std::string text = label + " " + window.label() + "  ";
  if (window.hasRolledOver(now)) return text + Format::headline(window, config.metric, now);
  text +=
      Format::metricPhrase(Format::percent(Format::value(window, config.metric)), config.metric);
  if (auto left = window.resetsIn(now); left && *left > 0) {
    text += desktop::L("cli.waybar.resets", " \u00B7 resets in %@", Format::relative(*left));
  }
  return text;
}

struct Shown {
  std::vector<std::string> tooltip;
  std::optional<double> smallestRemaining;
};

// The windows the text line shows: the enabled providers in configuration order.
Shown shown(const Snapshot& snapshot, const Config& config, Date now) {
  Shown result;
  for (const ProviderConfig& entry : config.enabledProviders()) {
    const ProviderSnapshot* provider = snapshot.provider(entry.id);
    if (!provider || !provider->hasData()) continue;
    for (const UsageWindow& window : Format::windows(*provider, entry)) {
      result.tooltip.push_back(tooltipLine(entry.label, window, config, now));
      double remaining = window.remainingPercent();
      if (!result.smallestRemaining || remaining < *result.smallestRemaining) {
        result.smallestRemaining = remaining;
      }
    }
  }
  return result;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

std::string cssClass(const std::optional<Snapshot>& snapshot, const Config& config, Date now) {
  if (!snapshot) return "none";
  if (secondsBetween(snapshot->generatedAt, now) / 60 > config.staleAfterMinutes) return "stale";
  switch (Render::title(snapshot, config, now).colour) {
    case MenuBarTitle::Colour::red:
      return "critical";
    case MenuBarTitle::Colour::orange:
      return "warning";
    default:
      return "normal";
  }
}

std::string line(const std::optional<Snapshot>& snapshot, const Config& config, Date now) {
  nlohmann::ordered_json object;
  object["text"] = Render::title(snapshot, config, now).text;
  Shown windows = snapshot ? shown(*snapshot, config, now) : Shown{};
  object["tooltip"] = joined(windows.tooltip);
  object["class"] = cssClass(snapshot, config, now);
  if (windows.smallestRemaining) {
    object["percentage"] = clampedInteger(std::round(*windows.smallestRemaining));
  }
  // Every text comes from valid UTF-8 (the configuration and the string tables are checked when
  // read), so the encoding cannot fail; the line stays an object all the same.
  return JsonText::compact(object).value_or(R"({"text":"","class":"none"})");
}

}  // namespace meterwright::WaybarOutput
