#pragma once

#include <atomic>

#include "core/time/Clock.h"

namespace meterwright::testing {

// A clock that moves only when a test moves it, so tests control every "now" without sleeping.
// Atomic, so a component's threads can read it while the test sets it.
class ManualClock : public Clock {
 public:
  explicit ManualClock(Date start = dateFromUnixSeconds(1'700'000'000)) : now_(start) {}

  Date now() const override { return now_.load(); }

  void set(Date date) { now_.store(date); }
  void advance(double seconds) { now_.store(addingSeconds(now_.load(), seconds)); }

 private:
  std::atomic<Date> now_;
};

}  // namespace meterwright::testing
