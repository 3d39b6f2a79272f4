#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "core/time/Scheduler.h"
#include "support/ManualClock.h"

namespace meterwright::testing {

// A scheduler on a manual clock: actions run only while a test advances the clock, each at its
// own time, in time order.
class ManualScheduler : public Scheduler {
 public:
  explicit ManualScheduler(ManualClock& clock) : clock_(clock) {}

  Token after(double seconds, std::function<void()> action, double tolerance = 0) override {
    Token token = ++last_;
    pending_[token] = {addingSeconds(clock_.now(), seconds), std::move(action), tolerance};
    return token;
  }
  void cancel(Token token) override { pending_.erase(token); }

  // Moves the clock `seconds` forward, stopping at each action that comes due to run it.
  void advance(double seconds) {
    Date end = addingSeconds(clock_.now(), seconds);
    for (;;) {
      auto next = std::min_element(pending_.begin(), pending_.end(), [](auto& a, auto& b) {
        return std::tie(a.second.due, a.first) < std::tie(b.second.due, b.first);
      });
      if (next == pending_.end() || next->second.due > end) break;
      clock_.set(std::max(clock_.now(), next->second.due));
      auto action = std::move(next->second.action);
      pending_.erase(next);
      action();
    }
    clock_.set(end);
  }

  std::size_t pending() const { return pending_.size(); }
  // Seconds from now to the earliest action, and how late that one may run.
  std::optional<std::pair<double, double>> next() const {
    if (pending_.empty()) return std::nullopt;
    auto first = std::min_element(pending_.begin(), pending_.end(),
                                  [](auto& a, auto& b) { return a.second.due < b.second.due; });
    return std::pair{secondsBetween(clock_.now(), first->second.due), first->second.tolerance};
  }

 private:
  struct Entry {
    Date due;
    std::function<void()> action;
    double tolerance = 0;
  };
  ManualClock& clock_;
  Token last_ = 0;
  std::map<Token, Entry> pending_;
};

}  // namespace meterwright::testing
