#pragma once

#include <string>
#include <string_view>

#include "core/sync/pairing/PairingCode.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/sync/protocol/SyncResult.h"
#include "core/time/Clock.h"

namespace meterwright {

// A pairing code the Mac is showing, valid until `expiresAt`. Kept in memory only.
struct PairingInvitation {
  int version = SyncProtocol::version;
  PairingCode code;
  Date expiresAt;

  // From `expiresAt` on, inclusive.
  bool isExpired(Date now) const { return now >= expiresAt; }

  // The invitation link, the same text as the code's QR payload.
  std::string encoded() const { return code.qrPayload(); }

  // The code in typed or scanned text; malformedInvitation when there is none.
  static SyncResult<PairingCode> decode(std::string_view text);

  bool operator==(const PairingInvitation&) const = default;
};

}  // namespace meterwright
