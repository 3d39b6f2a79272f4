#pragma once

#include <ostream>

#include "core/crypto/SymmetricKey.h"
#include "core/sync/pairing/PairedDevice.h"

namespace meterwright {

// A paired device with the key agreed with it: what the Mac needs to seal readings for it.
struct PairingRecord {
  PairedDevice device;
  SymmetricKey key;

  bool operator==(const PairingRecord&) const = default;

  friend void PrintTo(const PairingRecord& record, std::ostream* out) {
    *out << "PairingRecord(" << record.device.id.text() << ", \"" << record.device.name
         << "\", key withheld)";
  }
};

}  // namespace meterwright
