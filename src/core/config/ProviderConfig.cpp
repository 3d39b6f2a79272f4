#include "core/config/ProviderConfig.h"

#include "core/providers/PollingPolicy.h"
#include "core/providers/ProviderDefaults.h"
#include "core/providers/ProviderRegistry.h"
#include "core/text/TextCase.h"

namespace meterwright {

double ProviderConfig::effectivePollSeconds() const {
  return PollingPolicy::resolved(pollSeconds, id);
}

ProviderConfig ProviderConfig::defaults(const std::string& id, const PathExists& exists) {
  auto entry = ProviderRegistry::resolved(id);
  return {
      .id = id,
      .label = TextCase::capitalized(id),
      .enabled = true,
      .windows = {},
      .icon = ProviderDefaults::suggestedIcon(id, exists),
      .accent = entry.accent,
      .pollSeconds = entry.pollDefault,
  };
}

}  // namespace meterwright
