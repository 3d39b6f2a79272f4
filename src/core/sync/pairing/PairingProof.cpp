#include "core/sync/pairing/PairingProof.h"

#include <cstdint>

#include "core/crypto/CryptoPrimitives.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright::PairingProof {

namespace {

std::string mac(const PairingCode& code, const std::string& transcript) {
  return CryptoPrimitives::hmacSha256(code.authenticationKey().view(), transcript);
}

}  // namespace

std::string transcript(std::string_view label, std::initializer_list<std::string_view> parts) {
  std::string bytes = "Meterwright/" + std::to_string(SyncProtocol::version) + "/";
  bytes.append(label);
  for (std::string_view part : parts) {
    auto length = static_cast<std::uint32_t>(part.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<char>((length >> shift) & 0xFF));
    }
    bytes.append(part);
  }
  return bytes;
}

std::string request(const PairingCode& code, const Uuid& deviceID, std::string_view publicKey) {
  return mac(code, transcript(requestLabel, {deviceID.text(), publicKey}));
}

bool isValidRequest(std::string_view proof, const PairingCode& code, const Uuid& deviceID,
                    std::string_view publicKey) {
  return CryptoPrimitives::constantTimeEqual(proof, request(code, deviceID, publicKey));
}

std::string acceptance(const PairingCode& code, std::string_view macPublicKey,
                       std::string_view devicePublicKey) {
  return mac(code, transcript(acceptanceLabel, {macPublicKey, devicePublicKey}));
}

bool isValidAcceptance(std::string_view confirmation, const PairingCode& code,
                       std::string_view macPublicKey, std::string_view devicePublicKey) {
  return CryptoPrimitives::constantTimeEqual(confirmation,
                                             acceptance(code, macPublicKey, devicePublicKey));
}

}  // namespace meterwright::PairingProof
