#include "core/usage/UsageEventDetector.h"

#include <algorithm>
#include <cmath>

namespace meterwright {

namespace {

// Windows of two readings are matched by length alone; groups are not compared.
const UsageWindow* matchingWindow(const ProviderSnapshot* old, const UsageWindow& window) {
  if (!old) return nullptr;
  for (const UsageWindow& each : old->windows) {
    if (each.windowMinutes == window.windowMinutes) return &each;
  }
  return nullptr;
}

bool hasReset(const UsageWindow& now, const UsageWindow& before) {
  bool backToUntouched = now.remainingPercent() >= 100 && before.remainingPercent() < 100;
  bool newCycle = now.resetsAt && before.resetsAt && *now.resetsAt > *before.resetsAt &&
                  now.usedPercent < before.usedPercent;
  return backToUntouched || newCycle;
}

}  // namespace

std::vector<SyncEvent> UsageEventDetector::events(const std::optional<Snapshot>& previous,
                                                  const Snapshot& current) const {
  std::vector<SyncEvent> events;
  for (const ProviderSnapshot& provider : current.providers) {
    const ProviderSnapshot* old = previous ? previous->provider(provider.id) : nullptr;
    if (old && old->hasData() && !provider.hasData()) {
      events.push_back(
          SyncEvent{SyncEvent::ProviderOffline{provider.id, provider.name, offlineReason}});
    }

    for (const UsageWindow& window : provider.windows) {
      const UsageWindow* before = matchingWindow(old, window);
      std::string label = window.label();
      // Unclamped: a window reported beyond 100 % used counts as low and spent.
      double remaining = 100.0 - window.usedPercent;

      if (before && hasReset(window, *before)) {
        events.push_back(SyncEvent{SyncEvent::WindowReset{provider.id, provider.name, label,
                                                          before->remainingPercent() < 0.5}});
        continue;
      }

      if (warnBelowRemainingPercent >= 1) {
        double warn = warnBelowRemainingPercent;
        bool low = remaining <= warn;
        // With an earlier value only the crossing counts, not every reading below the line.
        if (low && (!before || before->remainingPercent() > warn)) {
          int percent = static_cast<int>(std::lround(std::max(remaining, 0.0)));
          events.push_back(
              SyncEvent{SyncEvent::RunningLow{provider.id, provider.name, label, percent}});
        }
      }

      bool spent = remaining < 0.5;
      if (spent && (!before || 100.0 - before->usedPercent >= 0.5)) {
        events.push_back(SyncEvent{SyncEvent::Exhausted{provider.id, provider.name, label}});
      }
    }
  }
  return events;
}

}  // namespace meterwright
