#include "core/display/DisplayEntry.h"

#include "core/display/Tokens.h"
#include "core/format/Format.h"

namespace meterwright {

std::vector<DisplayEntry> DisplayEntry::build(const std::optional<Snapshot>& snapshot,
                                              const Config& config, Date now) {
  std::vector<DisplayEntry> entries;
  if (!snapshot) return entries;
  for (const ProviderConfig& provider : config.providers) {
    if (!provider.enabled) continue;
    const ProviderSnapshot* reading = snapshot->provider(provider.id);
    if (!reading) continue;
    // The configured limit alone: unlike the text line, no floor from the window lengths.
    bool stale = reading->observedAt
                     ? secondsBetween(*reading->observedAt, now) / 60 > config.staleAfterMinutes
                     : reading->isStale();
    entries.push_back({
        .id = reading->id,
        .name = reading->name,
        .label = provider.label,
        .plan = reading->plan,
        .accentToken = ColorToken::fromHex(provider.accent).value_or(Tokens::fallbackAccent),
        .iconName = provider.icon,
        .isStale = stale,
        .hasData = reading->hasData(),
        .windows = Format::windows(*reading, provider),
        .detailedWindows = Format::allWindows(*reading, provider),
    });
  }
  return entries;
}

}  // namespace meterwright
