#include "desktop/app/QuotaAlerts.h"

#include <chrono>
#include <cmath>

#include "core/format/Format.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::QuotaAlerts {

namespace {

int rounded(double value) {
  double r = std::round(value);  // half away from zero
  if (!(r > -2e9 && r < 2e9)) return r > 0 ? 2'000'000'000 : (r < 0 ? -2'000'000'000 : 0);
  return int(r);
}

}  // namespace

std::string key(const std::string& provider, const UsageWindow& window) {
  std::string reset = "none";
  if (window.resetsAt) {
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(window.resetsAt->time_since_epoch());
    reset = std::to_string(seconds.count());
  }
  return provider + "-" + std::to_string(window.windowMinutes) + "-" + reset;
}

std::vector<Alert> check(const std::optional<Snapshot>& snapshot, const Config& config, Date now,
                         std::set<std::string>& alerted) {
  std::vector<Alert> alerts;
  if (!config.notifications || config.warnBelowRemainingPercent < 1 || !snapshot) return alerts;
  for (const ProviderConfig& entry : config.enabledProviders()) {
    const ProviderSnapshot* provider = snapshot->provider(entry.id);
    if (!provider || !provider->hasData()) continue;
    for (const UsageWindow& window : Format::windows(*provider, entry)) {
      double remaining = 100 - window.usedPercent;
      if (!(remaining <= config.warnBelowRemainingPercent)) continue;
      if (!alerted.insert(key(provider->id, window)).second) continue;
      std::string body =
          desktop::L("menu.quotaLow.body", "%1$@ window at %2$d%% used \u2014 %3$d%% left",
                     window.label(), rounded(window.usedPercent), std::max(0, rounded(remaining)));
      if (window.resetsAt) {
        body += desktop::L("menu.quotaLow.resets", ", resets in %@",
                           Format::relative(secondsBetween(now, *window.resetsAt)));
      }
      alerts.push_back(
          {desktop::L("menu.quotaLow.title", "%@ quota low", provider->name), std::move(body)});
    }
  }
  return alerts;
}

}  // namespace meterwright::QuotaAlerts
