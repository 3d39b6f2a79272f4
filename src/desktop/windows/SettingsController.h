#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/settings/Environment.h"
#include "core/time/Clock.h"
#include "core/time/Scheduler.h"
#include "core/usage/Snapshot.h"
#include "desktop/windows/ConnectionsTabLayout.h"
#include "desktop/windows/DisplayTabLayout.h"
#include "desktop/windows/ProvidersTabLayout.h"
#include "desktop/windows/SettingsChoices.h"
#include "desktop/windows/SettingsWindowLayout.h"
#include "desktop/windows/WindowStyleSheet.h"

namespace meterwright {

class IconLoader;

// The settings window: three tabs over the configuration, a live preview and the version line.
// Every control writes its key into the window's copy of the configuration and redraws the
// preview at once; the configuration is saved and handed to onApply 0.3 s after the last change,
// so a burst of changes (a slider dragged, a label typed) is saved once.
//
// Main thread only. GTK is started when the window is first shown; the window is kept when
// closed and rebuilt by every show.
class SettingsController {
 public:
  struct Options {
    // Where the configuration file and the user defaults are.
    FileLocations locations;
    std::shared_ptr<const Clock> clock;
    // Runs the delayed save.
    std::shared_ptr<Scheduler> scheduler;
    // The XDG data folders, for the icon chooser and the suggested icons.
    Environment environment = processEnvironment();
    PathExists pathExists = pathExistsOnDisk;
    // Null: the process's icon loader.
    const IconLoader* icons = nullptr;
    bool dark = false;
    bool touchBarSupported = false;
    std::string version;
    // The D-Bus address "Reveal config file" asks the file manager on; empty: the session bus.
    std::string busAddress;
  };

  // What the Connections tab reads of the application's reader; unset members read as nothing.
  struct Connections {
    std::function<std::vector<SourceState>()> sources;
    std::function<bool()> forceRefresh;
    std::function<double()> manualRefreshAvailableIn;
    std::function<std::optional<Date>()> sessionExpiry;
  };

  explicit SettingsController(Options options);
  ~SettingsController();
  SettingsController(const SettingsController&) = delete;
  SettingsController& operator=(const SettingsController&) = delete;

  // The saved configuration, 0.3 s after the last change.
  std::function<void(const Config&)> onApply;
  // "Re-check now" was accepted.
  std::function<void()> onRefreshRequested;
  // "Quit Meterwright" in the restart notice.
  std::function<void()> onQuit;
  Connections connections;

  // Replaces the configuration and reading with these, rebuilds every tab and presents the
  // window. A change still waiting to be saved is dropped: the configuration given wins. False
  // when GTK could not open a display.
  bool show(const Config& config, const std::optional<Snapshot>& snapshot);
  void rebuild();
  void setDark(bool dark);

  const Config& config() const { return config_; }
  // What the icon chooser does with the file the user picked for a provider's block.
  void iconChosen(std::size_t provider, const std::filesystem::path& path);

  // The widgets, for tests and screenshots to drive and read.
  GtkWidget* window() const { return window_; }
  const SettingsFrameWidgets& frame() const { return frame_; }
  const DisplayTabWidgets& displayTab() const { return display_; }
  GtkWidget* useRealIconsButton() const { return useRealIcons_; }
  const std::vector<ProviderBlockWidgets>& providerBlocks() const { return blocks_; }
  const ConnectionsTabWidgets& connectionsTab() const { return connectionsTab_; }
  // The restart notice while it is open.
  const std::optional<RestartNoticeWidgets>& restartNotice() const { return restartNotice_; }
  // Shown and allocated, so it can be drawn.
  bool isLaidOut() const;
  void selectTab(int index);
  // GTK's own rendering of the whole window, as PNG bytes.
  std::optional<std::string> windowPng() const;

 private:
  struct Alive {};

  void buildDisplay();
  void buildProviders();
  void buildConnections();
  void refreshConnections();
  // The line under "Re-check now"; hidden while empty.
  void setRecheckStatus(const std::string& text);
  void redrawPreview();
  void redrawIcon(std::size_t provider);
  // Redraws the preview and (re)schedules the save.
  void apply();
  void save();
  void chooseLanguage(std::size_t index);
  void openIconChooser(std::size_t provider);
  void useRealIcons();
  void recheck();
  void revealConfig();

  Options options_;
  Config config_;
  std::optional<Snapshot> snapshot_;
  GtkWidget* window_ = nullptr;
  std::optional<WindowStyleSheet> style_;
  SettingsFrameWidgets frame_;
  DisplayTabWidgets display_;
  GtkWidget* useRealIcons_ = nullptr;
  std::vector<ProviderBlockWidgets> blocks_;
  ConnectionsTabWidgets connectionsTab_;
  std::optional<RestartNoticeWidgets> restartNotice_;
  std::vector<std::string> languages_;
  std::optional<Scheduler::Token> pendingSave_;
  // Closures given to GTK and to the D-Bus call hold it weakly: once the controller is gone
  // they do nothing.
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

}  // namespace meterwright
