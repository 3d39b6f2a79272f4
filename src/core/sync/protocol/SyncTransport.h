#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/sync/protocol/SyncResult.h"

namespace meterwright {

// A route by which sealed envelopes reach paired devices (the local-network publisher, the cloud
// folder). The coordinator holds transports in shared_ptrs and calls them from the publishing
// thread.
//
// isAvailable() and typicalLatency() are asked while the coordinator holds its own lock, so they
// must not call back into the coordinator (lock order: SyncCoordinator.h).
class SyncTransport {
 public:
  virtual ~SyncTransport() = default;

  // Human-readable, used in error texts ("Local network").
  virtual std::string name() const = 0;
  // Whether the transport can deliver right now.
  virtual bool isAvailable() const = 0;
  // Expected delivery delay in seconds; lower is preferred.
  virtual double typicalLatency() const = 0;

  // Delivers the envelope to those devices. Delivery failures are the transport's own business.
  virtual void send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) = 0;

  // Begins operating. On failure the error is transportFailed with the platform's description.
  virtual SyncResult<void> start() = 0;
  virtual void stop() = 0;

  // Envelopes the transport received (used by receiving sides). Set before start().
  std::function<void(const SyncEnvelope&)> onEnvelope;
};

}  // namespace meterwright
