#include "desktop/app/StatusPresenter.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/format/Format.h"
#include "desktop/app/AppMenu.h"
#include "desktop/render/Render.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::StatusPresenter {

namespace {

template <typename Describe>
std::string joined(const std::vector<DisplayEntry>& entries, const std::string& separator,
                   Describe describe) {
  std::string text;
  for (const DisplayEntry& entry : entries) {
    if (!text.empty()) text += separator;
    text += describe(entry);
  }
  return text;
}

template <typename Describe>
std::string windowsOf(const DisplayEntry& entry, Describe describe) {
  if (entry.windows.empty()) return "no data";
  std::string text;
  for (const UsageWindow& window : entry.windows) {
    if (!text.empty()) text += ", ";
    text += window.label() + " " + describe(window);
  }
  return text;
}

// "42%": the share used, truncated.
std::string truncatedPercent(double used) {
  double whole = std::trunc(std::clamp(used, -1e9, 1e9));
  return std::to_string(static_cast<long long>(whole)) + "%";
}

}  // namespace

bool showsImage(const std::vector<DisplayEntry>& entries, const Config& config) {
  return config.menuBarStyle != "text" && !entries.empty();
}

bool needsAttention(const std::vector<DisplayEntry>& entries, const Config& config) {
  if (config.warnBelowRemainingPercent < 1) return false;
  for (const DisplayEntry& entry : entries) {
    if (!entry.hasData) continue;
    for (const UsageWindow& window : entry.windows) {
      if (100 - window.usedPercent <= config.warnBelowRemainingPercent) return true;
    }
  }
  return false;
}

StatusPresentation describe(const std::optional<Snapshot>& snapshot,
                            const std::vector<DisplayEntry>& entries, const Config& config,
                            double manualRefreshAvailableIn, Date now) {
  StatusPresentation presentation;
  presentation.textLine = Render::title(snapshot, config, now);
  presentation.title = presentation.textLine;
  presentation.accessibilityLabel = "Meterwright";
  presentation.needsAttention = needsAttention(entries, config);
  presentation.entries = entries;
  if (snapshot) presentation.footer = AppMenu::footer(*snapshot, manualRefreshAvailableIn, now);

  if (entries.empty()) {
    presentation.accessibilityValue = presentation.title.text;
    presentation.tooltip = presentation.title.text;
    return presentation;
  }
  presentation.accessibilityValue = joined(entries, "; ", [](const DisplayEntry& entry) {
    return entry.name + " " + windowsOf(entry, [](const UsageWindow& window) {
             return Format::percent(window.usedPercent) + " used";
           });
  });
  if (snapshot && AppMenu::isStale(*snapshot, config, now)) {
    presentation.tooltip =
        desktop::L("menu.noneAnswered",
                   "No provider has answered recently \u2014 open Settings \u2192 Connections.");
  } else {
    presentation.tooltip = joined(entries, "\n", [](const DisplayEntry& entry) {
      return entry.name + ": " + windowsOf(entry, [](const UsageWindow& window) {
               return truncatedPercent(window.usedPercent);
             });
    });
  }
  return presentation;
}

}  // namespace meterwright::StatusPresenter
