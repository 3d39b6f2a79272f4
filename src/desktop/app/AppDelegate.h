#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "core/encoding/Uuid.h"
#include "core/files/FileLocations.h"
#include "core/sync/pairing/PairedDevice.h"
#include "core/time/Clock.h"
#include "core/time/Scheduler.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SyncEvent.h"
#include "desktop/app/AppMenu.h"
#include "desktop/app/ReadingSource.h"
#include "desktop/app/ReadingWorker.h"
#include "desktop/app/StatusSurface.h"
#include "desktop/touchbar/TouchBarController.h"
#include "platform/session/LoginItem.h"
#include "platform/tray/TrayMenu.h"

namespace meterwright {

class IconLoader;
class SyncManager;
class WakeRefresh;

// The application: owns the configuration, the latest reading and the reader, drives the reading
// cycle (a repeating timer and manual refreshes) and turns every reading into the tray item, its
// menu, published payloads and notifications.
//
// Everything here runs on the main thread. Only the reader's read() runs on the controller's own
// worker thread; its result comes back through Options::toMainThread. One reading at a time: a
// tick or refresh while one is in flight starts nothing.
class AppDelegate {
 public:
  using Notify = std::function<void(const std::string& title, const std::string& body, bool sound,
                                    const std::string& identifier)>;

  struct Options {
    // Where the configuration file is.
    FileLocations locations;
    // Which applications are installed, for the configuration's defaults.
    PathExists pathExists = pathExistsOnDisk;
    std::shared_ptr<const Clock> clock;
    // Runs the reading timer on the main thread.
    std::shared_ptr<Scheduler> scheduler;
    // Hands work from the worker thread to the main thread; callable from any thread.
    std::function<void(std::function<void()>)> toMainThread;
    // A reader for a configuration: one at start and on every change that needs new readers.
    std::function<std::shared_ptr<ReadingSource>(const Config&)> makeSource;
    // Null: no device sync (readings are not published).
    std::shared_ptr<SyncManager> sync;
    // How many devices are paired; unset counts none.
    std::function<std::size_t()> pairedDeviceCount;
    // Posts one notification; unset posts nothing.
    Notify notify;
    // Nothing: this process offers no "Start at Login".
    std::optional<LoginItem> loginItem;
    // Null: no wake publishing.
    std::shared_ptr<WakeRefresh> wake;
    // The menu's sync item.
    std::function<void()> openPairing;
    // The menu's Setup Assistant item, and the first launch's welcome (unset: neither).
    std::function<void()> openSetup;
    // The menu's "Settings…".
    std::function<void()> openSettings;
    // Told of every paired device before the notification.
    std::function<void(const PairedDevice&)> devicePairedToWindow;
    // Ends the main loop; called by quit().
    std::function<void()> endMainLoop;
    // The image's pixel heights the tray wants.
    std::vector<int> pixmapHeights{22, 44};
    // Whether the panel is dark; unset is light.
    std::function<bool()> darkPanel;
    // Whether the tray host shows the picture at its own width (waybar) rather than fitting it
    // into a square; unset is square, which every host shows legibly.
    std::function<bool()> wideTray;
    // Null: the process's icon loader.
    const IconLoader* icons = nullptr;
  };

  explicit AppDelegate(Options options);
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Wires sync and wake, starts the sync coordinator, loads the configuration, starts the timer,
  // builds the reader and takes the first reading.
  void launch();

  // Where the item is shown from now on (null: nowhere, as when no tray host runs, and then the
  // image is not drawn); it is shown the current state at once.
  void attach(std::shared_ptr<StatusSurface> surface);
  // A menu item was chosen.
  void perform(TrayAction action);

  // Takes a reading on the worker thread unless one is in flight; `then` runs when it has been
  // applied, or at once when none was started.
  void refresh(std::function<void()> then = {});
  void forceRefresh();
  void reloadAndRefresh();
  void toggleLaunchAtLogin();
  void toggleTouchBar();
  void quit();
  // A configuration the settings window applies.
  void apply(Config config);

  void onSyncEvents(const std::vector<SyncEvent>& events);
  void onDevicePaired(const PairedDevice& device);

  // What the last manual refresh achieved, from the reading and the readers' failures.
  std::string describeRefresh() const;

  const Config& config() const { return config_; }
  const std::optional<std::string>& configError() const { return configError_; }
  const std::optional<Snapshot>& snapshot() const { return snapshot_; }
  const std::vector<DisplayEntry>& entries() const { return entries_; }
  bool isReading() const { return isReading_; }
  const std::shared_ptr<ReadingSource>& source() const { return source_; }
  const StatusPresentation& presentation() const { return presentation_; }
  // The pairing window's Revoke: the device's connection closed, its record and key forgotten,
  // the menu rebuilt.
  void revokeDevice(const Uuid& deviceID);
  // The controller's clock.
  Date now() const;
  // Null in runs without device sync.
  const std::shared_ptr<SyncManager>& sync() const { return options_.sync; }
  const TrayMenu& menu() const { return menu_; }

 private:
  // What the picture was drawn from: a new one only when one of these changed. The figures are
  // there for the countdowns of spent windows, which move with the clock alone.
  struct ImageKey {
    std::vector<DisplayEntry> entries;
    Config config;
    bool stale = false;
    bool dark = false;
    bool wide = false;
    // The application icon instead (nothing to draw): the fields above stay empty.
    bool appIcon = false;
    std::vector<std::string> figures;

    bool operator==(const ImageKey&) const = default;
  };

  void restartTimer();
  void tick();
  // Entries, item and menu again for the current state.
  void showState();
  void finishReading(std::optional<Snapshot> result, const std::function<void()>& then);
  void updateStatusItem();
  void rebuildMenu();
  void checkThresholds();
  void checkSessionExpiry();
  void notify(const std::string& title, const std::string& body);
  // Quota, sign-in and event alerts: notifications on and a warning threshold set.
  bool alertsWanted() const;
  void persistTouchBarPreference();
  void loadConfig();
  // Puts a manual refresh's outcome in the menu and takes it out again once its time is up, with
  // or without a reading in between.
  void showManualOutcome(std::string outcome);

  Options options_;
  std::shared_ptr<StatusSurface> surface_;
  std::optional<Scheduler::Token> timer_;
  double timerInterval_ = 0;
  Config config_;
  std::optional<std::string> configError_;
  std::optional<Snapshot> snapshot_;
  std::shared_ptr<ReadingSource> source_;
  TouchBarController touchBar_;
  std::vector<DisplayEntry> entries_;
  std::set<std::string> alerted_;
  bool isReading_ = false;
  std::set<std::int64_t> warnedSessionExpiries_;
  std::optional<AppMenu::ManualOutcome> lastManualRefresh_;
  std::optional<Scheduler::Token> outcomeExpiry_;
  bool manualRefreshPending_ = false;

  StatusPresentation presentation_;
  TrayMenu menu_;
  std::optional<ImageKey> imageKey_;
  std::vector<TrayPixmap> pixmaps_;

  // Work that comes back to the main thread checks this first: the controller may be gone.
  std::shared_ptr<AppDelegate*> alive_;
  // Last, so no waiting job starts once the rest is going. A reading in flight is not waited
  // for: it holds its own reader, and its result finds `alive_` gone.
  ReadingWorker worker_;
};

}  // namespace meterwright
