#include "core/crypto/Hkdf.h"

#include "core/crypto/CryptoPrimitives.h"

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
    CryptoPrimitives::wipe(message);
  }
  CryptoPrimitives::wipe(block);
  output.resize(length);
  return output;
}

std::optional<std::string> deriveKey(std::string_view inputKeyMaterial, std::string_view salt,
                                     std::string_view info, std::size_t length) {
  std::string pseudorandomKey = extract(salt, inputKeyMaterial);
  auto output = expand(pseudorandomKey, info, length);
  CryptoPrimitives::wipe(pseudorandomKey);
  return output;
}

}  // namespace meterwright::Hkdf
