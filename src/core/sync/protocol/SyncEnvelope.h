#pragma once

#include <string>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright {

// A payload sealed for one paired device; what both transports carry. `version` and `senderID`
// travel in the clear and are not covered by the authentication tag.
struct SyncEnvelope {
  int version = SyncProtocol::version;
  // The deviceID of the Mac that sealed it.
  Uuid senderID;
  // The authenticated-encryption box in its combined form: 12-byte nonce, ciphertext, 16-byte tag.
  std::string sealed;

  bool operator==(const SyncEnvelope&) const = default;
};

}  // namespace meterwright
