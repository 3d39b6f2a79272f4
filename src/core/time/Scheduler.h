#pragma once

#include <cstdint>
#include <functional>

namespace meterwright {

// Runs actions later, on the thread that owns the scheduler. Components whose rules depend on
// elapsed time (caps, repeating activities) take one, so tests move time with a manual clock
// instead of waiting.
class Scheduler {
 public:
  // Names one scheduled action; 0 never names one.
  using Token = std::uint64_t;

  virtual ~Scheduler() = default;

  // Runs `action` once, `seconds` from now. `tolerance` is how late it may run, so the system can
  // fold the wakeup into others.
  virtual Token after(double seconds, std::function<void()> action, double tolerance = 0) = 0;
  // Forgets an action that has not run yet; unknown or spent tokens are ignored.
  virtual void cancel(Token token) = 0;
};

}  // namespace meterwright
