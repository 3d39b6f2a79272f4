#include "desktop/app/AppMenu.h"

#include "core/format/Format.h"
#include "core/providers/PollingPolicy.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::AppMenu {

namespace {

const std::string indent = "    ";

TrayMenuItem item(TrayMenuItem::Kind kind, std::string label) {
  TrayMenuItem item;
  item.kind = kind;
  item.label = std::move(label);
  return item;
}

TrayMenuItem small(std::string label) {
  return item(TrayMenuItem::Kind::smallText, std::move(label));
}

TrayMenuItem text(std::string label) {
  return item(TrayMenuItem::Kind::text, std::move(label));
}

TrayMenuItem separator() {
  return item(TrayMenuItem::Kind::separator, {});
}

TrayMenuItem action(std::string label, TrayAction action, std::string shortcut = {}) {
  TrayMenuItem chosen = item(TrayMenuItem::Kind::action, std::move(label));
  chosen.enabled = true;
  chosen.action = action;
  chosen.shortcut = std::move(shortcut);
  return chosen;
}

std::string heading(const DisplayEntry& entry, const Config& config) {
  std::string label = entry.name;
  if (config.showPlanBadge && entry.plan) label += " \u00B7 " + *entry.plan;
  if (entry.isStale) label += " \u00B7 " + desktop::L("row.stale", "stale");
  return label;
}

// One provider row as lines: the heading, each group's name where a group begins, each window.
void addRow(std::vector<TrayMenuItem>& items, const DisplayEntry& entry, const State& state) {
  items.push_back(text(heading(entry, state.config)));
  if (!entry.hasData || entry.detailedWindows.empty()) {
    items.push_back(small(indent + desktop::L("row.noData", "no usage data")));
    return;
  }
  std::optional<std::string> previousGroup;
  for (const UsageWindow& window : entry.detailedWindows) {
    if (window.group && window.group != previousGroup) items.push_back(small(*window.group));
    previousGroup = window.group;
    items.push_back(text(indent + windowLine(window, state.config, state.now)));
  }
}

bool hasEntry(const State& state, const std::string& id) {
  for (const DisplayEntry& entry : state.entries) {
    if (entry.id == id) return true;
  }
  return false;
}

// The reading's own lines: steps between the warnings at the top and the actions.
void addReading(std::vector<TrayMenuItem>& items, const State& state, const Snapshot& snapshot) {
  if (state.entries.empty()) {
    items.push_back(
        small(desktop::L("menu.noEnabledProvider", "No enabled provider found in snapshot")));
  }
  for (const DisplayEntry& entry : state.entries) addRow(items, entry, state);

  for (const ProviderConfig& provider : state.config.enabledProviders()) {
    if (hasEntry(state, provider.id)) continue;
    items.push_back(text(provider.label));
    auto failure = state.failures.find(provider.id);
    if (failure != state.failures.end()) {
      items.push_back(small(indent + failure->second.summary));
      items.push_back(small(indent + failure->second.hint));
    } else {
      items.push_back(small(
          indent + desktop::L("menu.waitingFirstReading", "Waiting for the first reading\u2026")));
    }
  }

  if (auto left =
          state.claudeDirect ? signInWarning(state.sessionExpiry, state.now) : std::nullopt) {
    items.push_back(
        small("\u26A0  " + desktop::L("menu.signInExpires", "Claude Code sign-in expires in %@",
                                      Format::relative(*left))));
    items.push_back(small(indent + PollingPolicy::sessionRenewalHint()));
    items.push_back(separator());
  }
  items.push_back(small(footer(snapshot, state.manualRefreshAvailableIn, state.now)));
}

}  // namespace

bool isStale(const Snapshot& snapshot, const Config& config, Date now) {
  return secondsBetween(snapshot.generatedAt, now) / 60 > config.staleAfterMinutes;
}

std::optional<double> signInWarning(const std::optional<Date>& expiry, Date now) {
  if (!expiry) return std::nullopt;
  double left = secondsBetween(now, *expiry);
  if (left > 0 && left <= signInWarningSeconds) return left;
  return std::nullopt;
}

std::string footer(const Snapshot& snapshot, double manualRefreshAvailableIn, Date now) {
  std::string line = desktop::L("menu.updatedAgo", "Updated %@ ago",
                                Format::relative(secondsBetween(snapshot.generatedAt, now)));
  if (manualRefreshAvailableIn > 0) {
    line += " \u00B7 next check in " + Format::relative(manualRefreshAvailableIn);
  }
  if (snapshot.sourceName) line += " \u00B7 " + *snapshot.sourceName;
  return line;
}

std::string windowLine(const UsageWindow& window, const Config& config, Date now) {
  std::string value = Format::headline(window, config.metric, now);
  if (config.showMetricWord) value = Format::metricPhrase(value, config.metric);
  return window.label() + "  " + value + "  \u00B7  " + Format::caption(window, now);
}

TrayMenu build(const State& state) {
  std::vector<TrayMenuItem> items;
  if (state.configError) items.push_back(small("\u26A0 " + *state.configError));

  if (state.snapshot && isStale(*state.snapshot, state.config, state.now)) {
    double age = secondsBetween(state.snapshot->generatedAt, state.now);
    items.push_back(small(
        "\u26A0  " + desktop::L("menu.dataIsOld", "Usage data is %@ old", Format::relative(age))));
    items.push_back(small(indent + desktop::L("menu.notAnswering",
                                              "A provider is not answering \u2014 see Settings "
                                              "\u2192 Connections.")));
    items.push_back(separator());
  }

  if (state.snapshot) {
    addReading(items, state, *state.snapshot);
  } else {
    items.push_back(small(desktop::L("menu.noUsageData", "No usage data")));
    items.push_back(small(desktop::L("menu.checkConnections",
                                     "Open Settings \u2192 Connections to check providers.")));
    items.push_back(separator());
  }

  items.push_back(separator());
  if (state.lastManualRefresh &&
      secondsBetween(state.lastManualRefresh->at, state.now) < manualOutcomeSeconds) {
    items.push_back(small(state.lastManualRefresh->outcome));
  }
  items.push_back(
      action(desktop::L("menu.refreshNow", "Refresh Now"), TrayAction::refreshNow, "r"));
  items.push_back(
      action(desktop::L("menu.settings", "Settings\u2026"), TrayAction::openSettings, ","));
  items.push_back(
      action(desktop::L("menu.setupAssistant", "Setup Assistant\u2026"), TrayAction::openSetup));
  items.push_back(
      action(state.pairedDevices == 0
                 ? desktop::L("menu.sync.none", "Sync to iPhone, iPad & Apple Watch\u2026")
                 : "Synced Devices (" + std::to_string(state.pairedDevices) + ")\u2026",
             TrayAction::openPairing));
  items.push_back(
      action(desktop::L("menu.reloadConfig", "Reload Config File"), TrayAction::reloadConfig));

  TrayMenuItem login = action("Start at Login", TrayAction::toggleLaunchAtLogin);
  login.checked = state.startsAtLogin.value_or(false);
  login.enabled = state.startsAtLogin.has_value();
  items.push_back(login);

  // There is no Touch Bar here: the item stays, disabled, saying so.
  TrayMenuItem touchBar =
      action(desktop::L("menu.touchBar.unavailable", "Touch Bar unavailable on Linux"),
             TrayAction::toggleTouchBar);
  touchBar.checked = state.config.touchBar;
  touchBar.enabled = false;
  items.push_back(touchBar);

  items.push_back(action(desktop::L("menu.quit", "Quit Meterwright"), TrayAction::quit, "q"));
  return {std::move(items)};
}

}  // namespace meterwright::AppMenu
