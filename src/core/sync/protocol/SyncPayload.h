#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/config/ProviderConfig.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SyncEvent.h"

namespace meterwright {

// The plaintext a Mac publishes to its paired devices: the reading and everything a device needs
// to draw it the way the Mac does.
struct SyncPayload {
  int version = SyncProtocol::version;
  // When the payload was assembled.
  Date sentAt;
  // Display name of the publishing Mac.
  std::string sourceName;
  Snapshot snapshot;
  std::vector<ProviderConfig> providers;
  Config::Metric metric = Config::Metric::remaining;
  // Percent remaining.
  int warnBelowRemainingPercent = 20;
  // Usage events detected since the previous reading.
  std::vector<SyncEvent> events;
  // PNG bytes keyed by provider id, one per enabled provider whose icon could be drawn.
  std::map<std::string, std::string> icons;

  bool operator==(const SyncPayload&) const = default;
};

}  // namespace meterwright
