#pragma once

#include <optional>
#include <string>
#include <string_view>

// HKDF with HMAC-SHA-256 (RFC 5869), the key derivation of pairing. libsodium has the HMAC but
// not this construction on top of it.
namespace meterwright::Hkdf {

// The pseudorandom key of the extract step: HMAC(salt, input key material). An empty salt acts as
// 32 zero bytes, which HMAC's zero padding makes identical.
std::string extract(std::string_view salt, std::string_view inputKeyMaterial);

// `length` bytes of output keying material; nothing when more than 255 × 32 bytes are asked for.
std::optional<std::string> expand(std::string_view pseudorandomKey, std::string_view info,
                                  std::size_t length);

// extract, then expand.
std::optional<std::string> deriveKey(std::string_view inputKeyMaterial, std::string_view salt,
                                     std::string_view info, std::size_t length);

}  // namespace meterwright::Hkdf
