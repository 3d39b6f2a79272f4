#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/time/Clock.h"
#include "core/usage/UsageWindow.h"

namespace meterwright {

// One provider's part of a reading: its windows and whether they were read on the last attempt.
struct ProviderSnapshot {
  std::string id;
  std::string name;
  // Subscription type exactly as the provider reported it; Plan turns it into a badge.
  std::optional<std::string> plan;
  // "live": read on the last attempt; "unavailable": no usable numbers; any other word: numbers
  // kept from before. Compared ignoring case.
  std::string state;
  std::optional<Date> observedAt;
  std::vector<UsageWindow> windows;

  bool operator==(const ProviderSnapshot&) const = default;

  bool isLive() const;
  bool hasData() const;
  bool isStale() const;
  // The configured limit, raised to a twentieth of the shortest window so that a provider with
  // long windows is not flagged merely because the user chose a short limit.
  int staleAfterMinutes(int configured) const;
  bool isStale(int afterMinutes, Date now) const;
};

}  // namespace meterwright
