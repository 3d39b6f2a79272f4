#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/JobContext.h"
#include "core/config/Config.h"
#include "core/control/ControlMessage.h"
#include "core/usage/Snapshot.h"
#include "desktop/power/SleepDiagnostics.h"

namespace meterwright {

class CompositeSource;
class CompositionRoot;
class SyncManager;

// What --diagnose and the self-tests share: their waits, their way of printing a line, the
// running instance's report and this process's own sync manager.
namespace Diagnostics {

// Every wait of the diagnostics, in seconds. Each one that runs out is reported in words.
namespace Bounds {
inline constexpr double notificationSettings = 5;
inline constexpr double listener = 4;
inline constexpr double cloudCheck = 15;
inline constexpr double cloudIdle = 30;
inline constexpr double cloudSelfTest = 30;
inline constexpr double powerAssertionCap = 90;
inline constexpr double renewal = 60;
// Each of the tray's three questions to the session bus.
inline constexpr double trayStep = 2;
// Connecting to the running instance, sending to it and reading its answer, each.
inline constexpr double instanceStep = 2;
// The running instance's reading and publish for --wake-selftest: the readers' own deadlines
// (Claude 15 s, Codex 20 s and the grace to stop it) and the cloud folder's wait.
inline constexpr double instanceWake = 15 + 20 + 5 + cloudIdle;
}  // namespace Bounds

// One line as printed: outside text (a server's name, an error, systemctl's answer) may carry
// control characters, which are shown as "?" so that nothing reaches the terminal as a command.
void print(std::ostream& out, std::string_view line);
// "  ✓  text" or "  ✗  text" (the report's check lines).
void check(std::ostream& out, bool ok, std::string_view text);
// "  •  text".
void note(std::ostream& out, std::string_view text);
// Seven spaces and the text.
void more(std::ostream& out, std::string_view text);
// "✓ text" or "✗ text" (a self-test's verdict).
void verdict(std::ostream& out, bool ok, std::string_view text);

// The running instance's diagnosis. `running` is false when no instance listens on the control
// socket; `problem` is set when one listens but gave no usable answer.
struct Instance {
  bool running = false;
  std::optional<ControlDiagnosis> diagnosis;
  std::optional<std::string> problem;
};
Instance askInstance(const FileLocations& locations);

// This process's sync manager, started, with its two waits: the listener up to
// Bounds::listener, the cloud's account check up to Bounds::cloudCheck.
struct LocalSync {
  std::unique_ptr<SyncManager> manager;
  // Another process holds the publisher lock: nothing was started.
  bool otherPublisher = false;
  bool listening = false;
  // No cloud route, or its check finished in time.
  bool cloudAnswered = true;

  LocalSync() = default;
  LocalSync(LocalSync&&) = default;
  // Stops the coordinator.
  ~LocalSync();
};
LocalSync startSync(const CompositionRoot& root);

// The "while this computer sleeps" checks: the daily wake timer, and whether the machine suspends
// on its own (systemctl and logind, each within its deadline).
std::vector<SleepDiagnostics::Line> sleepChecks(const CompositionRoot& root);

// Where a sync tool seems to replicate `folder`: the name of the tool whose marker is in the folder
// or one above it (Syncthing's .stfolder, Nextcloud's or ownCloud's journal or log); nothing when
// none is found.
std::optional<std::string> syncToolAbove(const std::filesystem::path& folder);

// A bound as the lines write it: "15s".
std::string seconds(double bound);

// One "label percent" pair per window, separated by spaces: "5h 37% 7d 12%".
std::string windowsText(const ProviderSnapshot& provider);

}  // namespace Diagnostics
}  // namespace meterwright
