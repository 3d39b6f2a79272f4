#pragma once

#include <optional>
#include <string>

#include "core/time/Clock.h"

namespace meterwright {

// One rolling quota window of one provider (a five-hour window, a seven-day window…), as a reader
// saw it. Every surface judges "spent" and "rolled over" through the members below, so they agree.
struct UsageWindow {
  int windowMinutes = 0;
  // Share used, nominally 0–100; readers' values outside that range are kept as they came.
  double usedPercent = 0;
  std::optional<Date> resetsAt;
  // Set by readers that report several windows of the same length (per model, say).
  std::optional<std::string> group;

  bool operator==(const UsageWindow&) const = default;

  // 100 − used, never negative (and not capped at 100).
  double remainingPercent() const;
  bool isSpent() const;
  // "5h", "7d", "90m": days when whole days, else hours when whole hours, else minutes.
  std::string label() const;
  // The group (or nothing), a middle dot, the minutes: how windows of two readings are matched.
  std::string identity() const;
  // Seconds until the reset, negative once it has passed.
  std::optional<double> resetsIn(Date now) const;
  bool hasRolledOver(Date now) const;
};

}  // namespace meterwright
