#pragma once

#include <optional>
#include <vector>

#include "core/usage/Snapshot.h"
#include "core/usage/SyncEvent.h"

namespace meterwright {

// Compares two successive readings and names what happened to each quota in between: resets,
// crossings of the warning threshold, windows running out, providers going silent. Events mark
// transitions, so the caller keeps the last published reading as `previous`.
struct UsageEventDetector {
  // Percent remaining; 0 or below turns running-low events off.
  int warnBelowRemainingPercent = 20;

  bool operator==(const UsageEventDetector&) const = default;

  // In the current reading's provider order and each provider's window order. Without a previous
  // reading every window already low or spent is reported.
  std::vector<SyncEvent> events(const std::optional<Snapshot>& previous,
                                const Snapshot& current) const;

  // The fixed (untranslated) reason of a providerOffline event.
  static constexpr const char* offlineReason = "It has not answered since the last check.";
};

}  // namespace meterwright
