#pragma once

#include <string>
#include <string_view>

#include "core/crypto/CryptoPrimitives.h"

namespace meterwright::testing {

// Bytes written as hex in a test, as the published vectors write them. Spaces are skipped.
inline std::string fromHex(std::string_view hex) {
  return CryptoPrimitives::fromHex(hex).value_or(std::string());
}

// Only for public values (vectors, public keys, proofs); keys are compared, never printed.
inline std::string toHex(std::string_view bytes) {
  return CryptoPrimitives::hex(bytes);
}

// RFC 7748 section 6.1's key pairs; the pairing vectors use Alice as the device and Bob as the Mac.
inline const std::string alicePrivate =
    fromHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
inline const std::string alicePublic =
    fromHex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
inline const std::string bobPrivate =
    fromHex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
inline const std::string bobPublic =
    fromHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");

}  // namespace meterwright::testing
