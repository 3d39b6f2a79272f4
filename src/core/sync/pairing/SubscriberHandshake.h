#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/crypto/SymmetricKey.h"
#include "core/sync/pairing/PairingCode.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/protocol/SyncError.h"
#include "core/sync/protocol/SyncMessage.h"
#include "core/sync/protocol/SyncPayload.h"

// The device's rules for talking to a Mac, apart from any socket: what it sends first and what
// each message from the Mac means. The subscriber reads its code and key under its lock, asks
// here, and applies the outcome to the connection that is still current.
namespace meterwright::SubscriberHandshake {

// What a connection sends once it is ready: a pair request proving `code`, or without a code a
// hello followed at once by a snapshot request, so a reconnected device need not wait for the
// Mac's next publish.
std::vector<SyncMessage> opening(const PairingIdentity& device, const std::string& platform,
                                 const std::optional<PairingCode>& code);

struct Outcome {
  // The Mac proved the code and a key was agreed: the key to keep, the code is done with.
  std::optional<SymmetricKey> paired;
  // A snapshot opened with the key.
  std::optional<SyncPayload> payload;
  std::optional<SyncError> error;
  // The Mac did not prove the code: the connection is closed and the key and code forgotten.
  bool closes = false;

  bool operator==(const Outcome&) const = default;
};

// What `message` from the Mac means to a device pairing with `code` or holding `key`.
Outcome receive(const SyncMessage& message, const PairingIdentity& device,
                const std::optional<PairingCode>& code, const std::optional<SymmetricKey>& key);

}  // namespace meterwright::SubscriberHandshake
