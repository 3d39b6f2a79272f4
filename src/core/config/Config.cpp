#include "core/config/Config.h"

#include "core/providers/ProviderDefaults.h"
#include "core/providers/ProviderRegistry.h"
#include "core/text/TextCase.h"

namespace meterwright {

const ProviderConfig* Config::provider(std::string_view id) const {
  for (const ProviderConfig& entry : providers) {
    if (TextCase::equalIgnoringCase(entry.id, id)) return &entry;
  }
  return nullptr;
}

std::vector<ProviderConfig> Config::enabledProviders() const {
  std::vector<ProviderConfig> enabled;
  for (const ProviderConfig& entry : providers) {
    if (entry.enabled) enabled.push_back(entry);
  }
  return enabled;
}

Config Config::fallback(const PathExists& exists) {
  Config config;
  for (const ProviderDescriptor& entry : ProviderRegistry::all()) {
    config.providers.push_back({
        .id = entry.id,
        .label = entry.displayName,
        .enabled = entry.enabledByDefault,
        .windows = entry.defaultWindows,
        .icon = ProviderDefaults::suggestedIcon(entry.id, exists),
        .accent = entry.accent,
        .pollSeconds = entry.pollDefault,
    });
  }
  return config;
}

const Config& Config::fallback() {
  static const Config config = fallback(pathExistsOnDisk);
  return config;
}

std::optional<Config::Metric> metricFromString(std::string_view text) {
  if (text == "used") return Config::Metric::used;
  if (text == "remaining") return Config::Metric::remaining;
  return std::nullopt;
}

const char* toString(Config::Metric metric) {
  return metric == Config::Metric::used ? "used" : "remaining";
}

}  // namespace meterwright
