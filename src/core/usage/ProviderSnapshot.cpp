#include "core/usage/ProviderSnapshot.h"

#include <algorithm>
#include <cmath>

#include "core/text/TextCase.h"

namespace meterwright {

bool ProviderSnapshot::isLive() const {
  return TextCase::equalIgnoringCase(state, "live");
}

bool ProviderSnapshot::hasData() const {
  return !windows.empty() && !TextCase::equalIgnoringCase(state, "unavailable");
}

bool ProviderSnapshot::isStale() const {
  return hasData() && !isLive();
}

int ProviderSnapshot::staleAfterMinutes(int configured) const {
  if (windows.empty()) return configured;
  auto shortest =
      std::min_element(windows.begin(), windows.end(), [](const auto& a, const auto& b) {
        return a.windowMinutes < b.windowMinutes;
      })->windowMinutes;
  if (shortest < 1) return configured;
  return std::max(configured, static_cast<int>(std::lround(shortest / 20.0)));
}

bool ProviderSnapshot::isStale(int afterMinutes, Date now) const {
  if (!observedAt) return isStale();
  return secondsBetween(*observedAt, now) / 60.0 > staleAfterMinutes(afterMinutes);
}

}  // namespace meterwright
