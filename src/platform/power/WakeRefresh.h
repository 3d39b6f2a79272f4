#pragma once

#include <functional>
#include <memory>

#include "core/settings/EnvironmentBlock.h"
#include "core/time/Scheduler.h"
#include "platform/power/PowerAssertion.h"

namespace meterwright {

// Takes a reading and publishes it whenever the machine wakes (logind's PrepareForSleep(false))
// and once every interval while it is awake, holding a power assertion for the run so the
// machine cannot suspend half-way. One run at a time: a wake or tick during a run starts nothing.
// Lives on the thread of the main context where it was made; the completion handed to
// `onRefresh` may be called from any thread.
class WakeRefresh {
 public:
  // Calls `done` exactly once when the reading has been published.
  using Refresh = std::function<void(std::function<void()> done)>;

  // The longest a run keeps the machine awake, should its refresh never finish.
  static constexpr double assertionCap = 90;

  struct Options {
    // Where the system bus is.
    EnvironmentBlock environment;
    double deadlineSeconds = 5;
  };

  WakeRefresh(Scheduler& scheduler, Options options);
  ~WakeRefresh();
  WakeRefresh(const WakeRefresh&) = delete;
  WakeRefresh& operator=(const WakeRefresh&) = delete;

  // Set before `start`.
  Refresh onRefresh;

  // Listens for wakes and runs every `interval` seconds (a quarter of it late at most, so the
  // system may batch the wakeup). Called once.
  void start(double interval);

  bool busy() const;
  PowerAssertion& assertion();
  // Whether the wake signal is being listened to (false until the system bus answered, and
  // without one).
  bool listening() const;
  // Wakes heard since `start`, whether or not they started a run.
  int wakesHeard() const;

 private:
  struct Runner;
  std::shared_ptr<Runner> runner_;
};

}  // namespace meterwright
