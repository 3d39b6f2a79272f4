#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SourceFailure.h"
#include "platform/tray/TrayMenu.h"

// The tray's drop-down menu, built from scratch from the application's state. Hosts cannot draw
// the provider rows, so each becomes a heading and one line per window.
namespace meterwright::AppMenu {

// The outcome of the last manual refresh and when it was asked for.
struct ManualOutcome {
  Date at;
  std::string outcome;

  bool operator==(const ManualOutcome&) const = default;
};

// Everything the menu shows.
struct State {
  Config config;
  std::optional<std::string> configError;
  std::optional<Snapshot> snapshot;
  std::vector<DisplayEntry> entries;
  std::map<std::string, SourceFailure> failures;
  bool claudeDirect = false;
  std::optional<Date> sessionExpiry;
  double manualRefreshAvailableIn = 0;
  std::optional<ManualOutcome> lastManualRefresh;
  std::size_t pairedDevices = 0;
  // Whether the login item is on; nothing when this process has none to offer.
  std::optional<bool> startsAtLogin;
  Date now;
};

// A sign-in that lapses this many seconds ahead or sooner is warned about.
inline constexpr double signInWarningSeconds = 2700;
// How long the outcome of a manual refresh stays in the menu.
inline constexpr double manualOutcomeSeconds = 120;

TrayMenu build(const State& state);

// "Updated 4m ago · next check in 1m · <source>": the line under the rows.
std::string footer(const Snapshot& snapshot, double manualRefreshAvailableIn, Date now);

// One window as a menu line: its label, its figure and its caption.
std::string windowLine(const UsageWindow& window, const Config& config, Date now);

// Whether the reading is older than the configured limit.
bool isStale(const Snapshot& snapshot, const Config& config, Date now);

// Seconds until the sign-in lapses when that is within the warning period (and still ahead).
std::optional<double> signInWarning(const std::optional<Date>& expiry, Date now);

}  // namespace meterwright::AppMenu
