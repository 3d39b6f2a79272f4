#include "core/sync/Hkdf.h"

#include <sodium.h>

#include "core/sync/CryptoPrimitives.h"

namespace meterwright::Hkdf {

std::string extract(std::string_view salt, std::string_view inputKeyMaterial) {
  return CryptoPrimitives::hmacSha256(salt, inputKeyMaterial);
}

std::optional<std::string> expand(std::string_view pseudorandomKey, std::string_view info,
                                  std::size_t length) {
  constexpr std::size_t hashLength = CryptoPrimitives::sha256Bytes;
  if (length > 255 * hashLength) return std::nullopt;
  std::string output;
  output.reserve(length + hashLength);
  std::string block;
  for (unsigned counter = 1; output.size() < length; ++counter) {
    std::string message = block;
    message.append(info);
    message.push_back(static_cast<char>(counter));
    block = CryptoPrimitives::hmacSha256(pseudorandomKey, message);
    output += block;
    sodium_memzero(message.data(), message.size());
  }
  sodium_memzero(block.data(), block.size());
  output.resize(length);
  return output;
}

std::optional<std::string> deriveKey(std::string_view inputKeyMaterial, std::string_view salt,
                                     std::string_view info, std::size_t length) {
  std::string pseudorandomKey = extract(salt, inputKeyMaterial);
  auto output = expand(pseudorandomKey, info, length);
  sodium_memzero(pseudorandomKey.data(), pseudorandomKey.size());
  return output;
}

}  // namespace meterwright::Hkdf
