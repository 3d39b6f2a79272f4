#pragma once

#include <memory>

#include "core/settings/EnvironmentBlock.h"
#include "core/time/Scheduler.h"

namespace meterwright {

// Keeps the machine from suspending while a reading goes out: a logind inhibitor
// ("sleep", "block") on the system bus, held as long as its file descriptor is open. Every take
// restarts a cap, so the inhibitor ends `cap` seconds after the latest take unless released
// first. A logind that refuses, hangs or is absent is silent here (the run goes ahead without it);
// `state()` tells the wake self-test. Used on the thread of the main context where it was made.
class PowerAssertion {
 public:
  enum class State {
    released,
    // Asked logind; no answer yet.
    requested,
    held,
    // logind refused, did not answer in time, or was not there.
    refused,
  };

  struct Options {
    // Where the system bus is.
    EnvironmentBlock environment;
    double deadlineSeconds = 5;
  };

  PowerAssertion(Scheduler& scheduler, Options options);
  ~PowerAssertion();
  PowerAssertion(const PowerAssertion&) = delete;
  PowerAssertion& operator=(const PowerAssertion&) = delete;

  void take(double cap);
  // Ends the inhibitor now and forgets the cap; harmless when nothing is held.
  void release();
  State state() const;

 private:
  struct Inhibitor;
  std::shared_ptr<Inhibitor> inhibitor_;
};

}  // namespace meterwright
