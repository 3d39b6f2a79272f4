#include "core/sync/SymmetricKey.h"

#include <sodium.h>

#include <cstring>

namespace meterwright {

std::optional<SymmetricKey> SymmetricKey::fromBytes(std::string_view bytes) {
  if (bytes.size() != byteCount) return std::nullopt;
  Bytes raw{};
  std::memcpy(raw.data(), bytes.data(), byteCount);
  return SymmetricKey(raw);
}

SymmetricKey SymmetricKey::random() {
  // Thread-safe and idempotent; libsodium asks for it before any other call.
  static const bool sodiumReady = sodium_init() >= 0;
  (void)sodiumReady;
  Bytes raw{};
  randombytes_buf(raw.data(), raw.size());
  return SymmetricKey(raw);
}

bool operator==(const SymmetricKey& a, const SymmetricKey& b) {
  return sodium_memcmp(a.bytes_.data(), b.bytes_.data(), SymmetricKey::byteCount) == 0;
}

}  // namespace meterwright
