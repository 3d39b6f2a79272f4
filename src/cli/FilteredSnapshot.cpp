#include "cli/FilteredSnapshot.h"

#include <algorithm>
#include <cmath>

#include "core/format/ClampedInteger.h"
#include "core/format/Format.h"
#include "core/json/JsonText.h"
#include "core/time/Iso8601.h"

namespace meterwright::FilteredSnapshot {

namespace {

// std::round rounds half away from zero; the clamp keeps an outlandish reader value defined.
long long rounded(double value) {
  return clampedInteger(std::round(value));
}

nlohmann::json windowObject(const UsageWindow& window, Date now) {
  nlohmann::json object{
      {"label", window.label()},
      {"windowMinutes", window.windowMinutes},
      {"usedPercent", rounded(window.usedPercent)},
      {"remainingPercent", rounded(std::max(100 - window.usedPercent, 0.0))},
  };
  if (window.group) object["group"] = *window.group;
  if (window.resetsAt) {
    object["resetsAt"] = Iso8601::format(*window.resetsAt);
    double left = secondsBetween(now, *window.resetsAt);
    object["resetsInSeconds"] = clampedInteger(std::trunc(std::max(left, 0.0)));
  }
  return object;
}

}  // namespace

nlohmann::json build(const Snapshot& snapshot, const Config& config, Date now) {
  nlohmann::json providers = nlohmann::json::array();
  for (const ProviderConfig& entry : config.providers) {
    if (!entry.enabled) continue;
    const ProviderSnapshot* provider = snapshot.provider(entry.id);
    if (!provider) continue;
    nlohmann::json windows = nlohmann::json::array();
    for (const UsageWindow& window : Format::allWindows(*provider, entry)) {
      windows.push_back(windowObject(window, now));
    }
    nlohmann::json object{{"id", provider->id},
                          {"name", provider->name},
                          {"state", provider->state},
                          {"windows", std::move(windows)}};
    if (provider->plan) object["plan"] = *provider->plan;
    providers.push_back(std::move(object));
  }
  return nlohmann::json{{"generatedAt", Iso8601::format(snapshot.generatedAt)},
                        {"providers", std::move(providers)}};
}

std::optional<std::string> text(const Snapshot& snapshot, const Config& config, Date now) {
  return JsonText::prettySorted(build(snapshot, config, now));
}

}  // namespace meterwright::FilteredSnapshot
