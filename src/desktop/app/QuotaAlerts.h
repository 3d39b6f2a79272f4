#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"

// The quota-low notifications a reading calls for.
namespace meterwright::QuotaAlerts {

struct Alert {
  std::string title;
  std::string body;

  bool operator==(const Alert&) const = default;
};

// "claude-300-1740830400": provider, window length, reset time (or "none"). One window cycle has
// one key, so it alerts at most once.
std::string key(const std::string& provider, const UsageWindow& window);

// The alerts for every shown window at or below the warning threshold whose key is not in
// `alerted`; their keys are added. Nothing when notifications are off, the threshold is below 1
// or there is no reading.
std::vector<Alert> check(const std::optional<Snapshot>& snapshot, const Config& config, Date now,
                         std::set<std::string>& alerted);

}  // namespace meterwright::QuotaAlerts
