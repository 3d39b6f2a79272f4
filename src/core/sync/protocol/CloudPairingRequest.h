#pragma once

#include <string>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/time/Clock.h"

namespace meterwright {

// A device's request to pair through iCloud, for a device that cannot read the code on the Mac's
// screen. It travels unencrypted (SyncCoding codes it): it holds only the device's identity and
// public key, and the user approves it on the Mac.
struct CloudPairingRequest {
  int version = SyncProtocol::version;
  Uuid deviceID;
  std::string deviceName;
  std::string platform;
  // The device's 32-byte X25519 public key.
  std::string publicKey;
  Date askedAt;

  // True when more than `seconds` have passed from `askedAt` to `now`.
  bool isStale(double seconds, Date now) const { return secondsBetween(askedAt, now) > seconds; }

  bool operator==(const CloudPairingRequest&) const = default;
};

}  // namespace meterwright
