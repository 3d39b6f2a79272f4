#pragma once

#include <ostream>
#include <string>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/time/Clock.h"

namespace meterwright {

// The Mac's answer to an iCloud pairing request: its identity, its public key and the random token
// both sides salt the derived key with (SyncCoding codes it). The token stands in for the pairing
// code, so it is never printed.
struct CloudPairingGrant {
  int version = SyncProtocol::version;
  Uuid macID;
  std::string macName;
  // The Mac's 32-byte X25519 public key.
  std::string publicKey;
  std::string token;
  Date grantedAt;

  bool operator==(const CloudPairingGrant&) const = default;

  friend void PrintTo(const CloudPairingGrant& grant, std::ostream* out) {
    *out << "CloudPairingGrant(version " << grant.version << ", " << grant.macID.text() << ", \""
         << grant.macName << "\", token withheld)";
  }
};

}  // namespace meterwright
