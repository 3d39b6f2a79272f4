#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/EnvironmentBlock.h"
#include "platform/tray/TrayMenu.h"
#include "platform/tray/TrayPresentation.h"

namespace meterwright {

// The program's tray item: an org.kde.StatusNotifierItem with a com.canonical.dbusmenu menu on
// the session bus, registered with the desktop's StatusNotifierWatcher whenever one is there.
// Everything happens on the main context that is the thread default where the item is made; no
// call waits for a peer. Without a session bus, or without a watcher for `hostGraceSeconds`, it
// reports that no host shows it, keeps watching, and registers when a watcher appears.
class TrayItem {
 public:
  struct Options {
    // Where the session bus is; no bus is ever started.
    EnvironmentBlock environment;
    // For opening the bus and for each call to the watcher.
    double deadlineSeconds = 5;
    // How long a watcher may take to appear (a panel starting with the session) before the item
    // counts as not shown.
    double hostGraceSeconds = 3;
  };

  explicit TrayItem(Options options);
  ~TrayItem();
  TrayItem(const TrayItem&) = delete;
  TrayItem& operator=(const TrayItem&) = delete;

  void setPresentation(const TrayPresentation& presentation);
  // Replaces the whole menu; hosts are told to fetch the new layout.
  void setMenu(const TrayMenu& menu);

  // A menu item was chosen.
  void onAction(std::function<void(TrayAction)> handler);
  // The item was clicked (primary activation) at a screen position, as the host tells it.
  void onActivate(std::function<void(int x, int y)> handler);
  // Whether a host shows the item; called on each change, the first time within
  // `hostGraceSeconds` at the latest.
  void onHostAvailabilityChanged(std::function<void(bool)> handler);

  // The last reported availability; nothing before the first report.
  std::optional<bool> hostAvailable() const;
  // The program that runs the watcher the item is registered with (its process name, such as
  // "waybar", or "panel-1-systray" for xfce4-panel's plugin); empty when not registered or unknown.
  // Known by the time the host is reported available.
  std::string hostProgram() const;
  // Whether a host of that name draws the picture at its own width rather than fitting it into a
  // square, as most do.
  static bool keepsPictureWidth(std::string_view hostProgram);

  // The name the item registered under (org.kde.StatusNotifierItem-<pid>-<n>).
  const std::string& serviceName() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace meterwright
