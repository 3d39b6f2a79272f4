#include "core/crypto/SymmetricKey.h"

#include <cstring>

#include "core/crypto/CryptoPrimitives.h"

namespace meterwright {

std::optional<SymmetricKey> SymmetricKey::fromBytes(std::string_view bytes) {
  if (bytes.size() != byteCount) return std::nullopt;
  Bytes raw{};
  std::memcpy(raw.data(), bytes.data(), byteCount);
  return SymmetricKey(raw);
}

SymmetricKey SymmetricKey::random() {
  std::string random = CryptoPrimitives::randomBytes(byteCount);
  std::optional<SymmetricKey> key = fromBytes(random);
  CryptoPrimitives::wipe(random);
  return *key;
}

bool operator==(const SymmetricKey& a, const SymmetricKey& b) {
  return CryptoPrimitives::constantTimeEqual(a.view(), b.view());
}

}  // namespace meterwright
