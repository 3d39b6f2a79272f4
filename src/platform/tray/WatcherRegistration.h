#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

namespace meterwright {

// The item's side of org.kde.StatusNotifierWatcher: registers `service` whenever a watcher owns
// its name (at once, later, or again after it went away) and tells whether a host shows the
// item, and which program runs the watcher (its host, as a rule). Calls are asynchronous with a
// deadline; replies for a watcher that has since gone are dropped.
class WatcherRegistration {
 public:
  // True once registered with a watcher that has a host (or does not say), false when that
  // ends or a registration fails.
  using Changed = std::function<void(bool shown)>;

  WatcherRegistration(GDBusConnection* connection, std::string service, double deadlineSeconds,
                      Changed changed);
  ~WatcherRegistration();
  WatcherRegistration(const WatcherRegistration&) = delete;
  WatcherRegistration& operator=(const WatcherRegistration&) = delete;

  // The process name (as /proc/<pid>/comm gives it) of the watcher registered with, known before
  // `changed(true)`; empty when the bus or /proc cannot say.
  const std::string& watcherProgram() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace meterwright
