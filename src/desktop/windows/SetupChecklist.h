#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/usage/Snapshot.h"
#include "core/usage/SourceFailure.h"
#include "platform/notifications/Notifier.h"

namespace meterwright {

// One line of the setup assistant's checklist.
struct Step {
  std::string title;
  std::string detail;
  // Shown as completed.
  bool done = false;
  // The button's title and what it does; nothing for a step the user has no part in.
  std::optional<std::pair<std::string, std::function<void()>>> action;
  bool actionEnabled = true;
};

// How one provider's reader is doing, as the checklist sees it.
struct ProviderReport {
  bool connected = false;
  // A reading and no failure.
  bool current = false;
  std::optional<SourceFailure> failure;
  // Seconds until a manual reading could reach the provider.
  double retryIn = 0;

  bool operator==(const ProviderReport&) const = default;
};

// The checklist as a function of what the machine looks like: no widgets, no outside programs.
// The setup window gathers the facts off the main loop and shows the steps built from them.
namespace SetupChecklist {

// Everything the five steps are built from.
struct Facts {
  // The `claude` and `codex` programs, when installed.
  std::optional<std::string> claudeExecutable;
  std::optional<std::string> codexExecutable;
  ProviderReport claude;
  ProviderReport codex;
  Notifier::Authorization notifications = Notifier::Authorization::unknown;
  int warnBelowRemainingPercent = 0;
  bool loginItemEnabled = false;
  // When the daily wake next fires, as the system writes it; nothing without one.
  std::optional<std::string> scheduledWake;
  // The last failure to change the wake, already worded.
  std::optional<std::string> wakeError;

  bool operator==(const Facts&) const = default;
};

// What the buttons do.
struct Actions {
  // Runs a command line in a terminal window titled `title`.
  std::function<void(const std::string& command, const std::string& title)> runInTerminal;
  std::function<void()> openNotificationSettings;
  std::function<void()> askForNotifications;
  std::function<void()> turnOnLoginItem;
  std::function<void(bool on)> setWakeSchedule;
};

// A provider's report from one reading and its source's state. `id` is matched ignoring case.
ProviderReport report(const std::string& id, const std::optional<Snapshot>& reading,
                      const std::map<std::string, SourceFailure>& failures, double retryIn);

// "Trying again in 3m." while a manual reading has to wait; nothing otherwise.
std::optional<std::string> retryNote(const ProviderReport& report);

// The time of day in a schedule text ("… at 8:00 AM …", "… at 08:00 …", or systemd's
// "Tue 2026-12-08 08:00:00 CET"); the whole text when it names none.
std::string wakeTime(const std::string& scheduleText);

// A path as one word of a shell command line.
std::string shellQuoted(const std::string& path);

// Claude, Codex, notifications, start at login, readings while asleep: in that order.
std::vector<Step> steps(const Facts& facts, const Actions& actions);

}  // namespace SetupChecklist
}  // namespace meterwright
