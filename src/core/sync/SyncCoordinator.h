#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/crypto/SymmetricKey.h"
#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairedDevice.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/protocol/SyncError.h"
#include "core/sync/protocol/SyncPayload.h"
#include "core/sync/protocol/SyncTransport.h"

namespace meterwright {

// Where a new reading becomes one sealed envelope per paired device, handed to every transport
// that can deliver right now. It also records new pairings and brings a newly paired device up to
// date with the latest payload. The sync manager owns one per run.
//
// The lock guards only the transport list and the latest payload. Transports are started, stopped
// and sent to without it; only their availability and latency are asked under it.
//
// Lock order of the sync subsystem, the one place it is written down: coordinator, then a
// transport (the local-network publisher), then the paired-device store. Two calls cross locks:
// the coordinator asks each transport whether it is available while holding its own lock, and the
// publisher asks the store for a returning device's key while holding its own. Nothing takes
// them in the other direction.
class SyncCoordinator {
 public:
  SyncCoordinator(PairingIdentity identity, std::shared_ptr<PairedDeviceStore> store);

  const PairingIdentity& identity() const { return identity_; }

  void add(std::shared_ptr<SyncTransport> transport);
  // In the order they were added.
  std::vector<std::shared_ptr<SyncTransport>> allTransports() const;
  // The ones available now, lowest typical latency first; equal latencies keep the order of
  // addition.
  std::vector<std::shared_ptr<SyncTransport>> availableTransports() const;

  // Starts every transport in order; one that fails is reported through onError as
  // transportFailed("<name>: <description>") and the rest are still started.
  void start();
  void stop();

  // Remembers the payload and seals it for each paired device (oldest pairing first) under that
  // device's key, handing each envelope to every available transport for that one device. Runs
  // on the caller's thread; delivery failures are the transports' business.
  void publish(const SyncPayload& payload);

  // Stores a new pairing, announces it and re-publishes the latest payload, if any.
  void remember(const PairedDevice& device, const SymmetricKey& key);

  std::optional<SyncPayload> currentPayload() const;

  // Forgets the device in the store. A transport's own state (the publisher's open connection) is
  // revoked by its owner separately.
  void revoke(const Uuid& deviceID);

  // Oldest pairing first.
  std::vector<PairedDevice> pairedDevices() const;

  // Set before start().
  std::function<void(const PairedDevice&)> onDevicePaired;
  std::function<void(const SyncError&)> onError;

 private:
  PairingIdentity identity_;
  std::shared_ptr<PairedDeviceStore> store_;
  mutable std::mutex lock_;  // guards transports_ and latest_
  std::vector<std::shared_ptr<SyncTransport>> transports_;
  std::optional<SyncPayload> latest_;
};

}  // namespace meterwright
