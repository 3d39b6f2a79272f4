#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/time/Scheduler.h"
#include "desktop/readers/claude/TokenSetupAssistant.h"
#include "desktop/windows/SetupChecklist.h"
#include "desktop/windows/SetupWindowLayout.h"
#include "desktop/windows/WindowStyleSheet.h"
#include "platform/session/LoginItem.h"

namespace meterwright {

class CompositeSource;
class SleepSchedule;

// The setup assistant: a checklist of what Meterwright found on its own (Claude, Codex) and what
// needs the user (notifications, start at login, the daily wake), each with the one button that
// starts the user's part. While the window is open the list is gathered again every two seconds,
// so a sign-in finished in a terminal shows up without a click. Closing it marks setup as
// completed ("setupCompleted.v1"), whichever way it is closed.
//
// Lives on the main thread, GTK's, which it never blocks: reading the providers, the wake timer
// and the login item happens through `background`, and the password prompt of the wake step too.
class SetupWindowController {
 public:
  struct Options {
    // Runs the two-second refresh.
    std::shared_ptr<Scheduler> scheduler;
    // Runs blocking work off the main loop, one job at a time; `toMainThread` brings its result
    // back. Tests run both at once.
    std::function<void(std::function<void()>)> background;
    std::function<void(std::function<void()>)> toMainThread;
    // Where the user defaults, the programs and the temporary folder are.
    FileLocations locations;
    EnvironmentBlock environment;
    // The application's composite source; unset or null reports every provider unconnected.
    std::function<std::shared_ptr<CompositeSource>()> source;
    // The configuration in force.
    std::function<Config()> config;
    // The notifier's last known authorization, its refresh (the completion runs on the main
    // thread) and the desktop's notification settings.
    std::function<Notifier::Authorization()> notificationAuthorization;
    std::function<void(std::function<void()>)> refreshNotifications;
    std::function<void()> openNotificationSettings;
    // Nothing: the login step stays off and its button does nothing.
    std::optional<LoginItem> loginItem;
    // Null: no wake is ever scheduled.
    std::shared_ptr<SleepSchedule> sleepSchedule;
    // Opens a terminal on a command line; unset uses TerminalLauncher.
    std::function<bool(const std::string& command, const std::string& title)> runInTerminal;
    // The desktop's colour scheme.
    bool dark = false;
  };

  explicit SetupWindowController(Options options);
  ~SetupWindowController();
  SetupWindowController(const SetupWindowController&) = delete;
  SetupWindowController& operator=(const SetupWindowController&) = delete;

  // The window has closed (it is hidden and kept). It must not destroy the controller.
  std::function<void()> onFinished;

  // Opens or raises the window, gathers the checklist and starts the two-second refresh. False
  // when GTK could not open a display.
  bool show();
  // As the user closing it.
  void close();
  // What the two-second timer does: the notification state and the checklist, gathered again.
  void refresh();

  // The steps as of the last gathering.
  std::vector<Step> steps();
  // Blocking: reads through the composite source. For `background` only.
  ProviderReport report(const std::string& id) const;
  static std::optional<std::string> retryNote(const ProviderReport& report);
  // Installs the daily 08:00 wake, or cancels it, through the password prompt.
  void setWakeSchedule(bool on);
  const std::optional<std::string>& wakeError() const { return wakeError_; }
  TokenSetupAssistant& tokenSetup() { return tokenSetup_; }
  void setDark(bool dark);

  // The filled window as PNG bytes at `scale` pixels a point, shown and laid out first; nothing
  // without a display.
  std::optional<std::string> previewImage(double scale = 1);

  // What tests and screenshots read, from the widgets themselves.
  struct ShownStep {
    std::string title;
    std::string detail;
    bool done = false;
    // The button's title; nothing when the row has none.
    std::optional<std::string> button;
    bool operator==(const ShownStep&) const = default;
  };
  std::vector<ShownStep> shownSteps() const;
  // Activates a step's button, or Done, as a click does.
  void clickStep(std::size_t index);
  void clickDone();
  bool isVisible() const;
  bool isLaidOut() const;
  // The texts of the labels that are clipped: given less than their text needs, or placed partly
  // outside the window. Empty when everything fits (and before the window is laid out).
  std::vector<std::string> clippedTexts() const;
  std::optional<std::pair<int, int>> size() const;

 private:
  struct Alive {};

  void ensureWindow();
  // The gathered facts with what the main thread knows now.
  SetupChecklist::Facts currentFacts() const;
  void gather();
  void rebuild();
  void scheduleRefresh();
  void stopTimer();
  void finished();
  SetupChecklist::Actions actions();

  Options options_;
  GtkWidget* window_ = nullptr;
  std::optional<WindowStyleSheet> style_;
  SetupWindowWidgets widgets_;
  std::vector<SetupStepRowWidgets> rows_;
  std::optional<Scheduler::Token> refreshTimer_;
  TokenSetupAssistant tokenSetup_;
  std::optional<std::string> wakeError_;
  SetupChecklist::Facts facts_;
  // What the rows on screen were built from.
  std::optional<SetupChecklist::Facts> shown_;
  bool gathering_ = false;
  bool changingWake_ = false;
  // Work coming back from `background` holds it weakly: once it is gone, nothing is updated.
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

}  // namespace meterwright
