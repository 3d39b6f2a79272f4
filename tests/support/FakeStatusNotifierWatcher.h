#pragma once

#include <memory>
#include <string>
#include <vector>

namespace meterwright::testing {

// An org.kde.StatusNotifierWatcher on a test's bus, in this process: it answers while the test
// iterates the thread-default main context and records every item registration.
class FakeStatusNotifierWatcher {
 public:
  // `hostRegistered`: what IsStatusNotifierHostRegistered says until registerHost().
  explicit FakeStatusNotifierWatcher(const std::string& busAddress, bool hostRegistered = true);
  ~FakeStatusNotifierWatcher();

  // Whether it owns the watcher's name; false when the bus could not be reached.
  bool ready() const;
  // The service argument of each RegisterStatusNotifierItem, in order.
  const std::vector<std::string>& registrations() const;
  // A host comes: the property turns true and StatusNotifierHostRegistered goes out.
  void registerHost();
  // Leaves the bus, as a panel that quits.
  void leave();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright::testing
