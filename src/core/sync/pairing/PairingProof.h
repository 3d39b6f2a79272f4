#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairingCode.h"

// The two proofs of a code pairing: the device shows it knows the code (request), then the Mac
// shows it knows it too (acceptance). Each is an HMAC-SHA-256 under the code's authentication key
// over a transcript that binds the protocol version, the step and the keys being paired, so a
// proof cannot be replayed for another device, another key or the other step.
namespace meterwright::PairingProof {

constexpr std::string_view requestLabel = "pair-request";
constexpr std::string_view acceptanceLabel = "pair-accept";

// "Meterwright/<version>/<label>" with no length prefix, then each part as a 32-bit big-endian
// length followed by its bytes.
std::string transcript(std::string_view label, std::initializer_list<std::string_view> parts);

// Over the device's upper-case UUID text and its 32-byte public key.
std::string request(const PairingCode& code, const Uuid& deviceID, std::string_view publicKey);
// Constant-time; false for any mismatch, including a proof of the wrong length.
bool isValidRequest(std::string_view proof, const PairingCode& code, const Uuid& deviceID,
                    std::string_view publicKey);

// Over the Mac's public key, then the device's.
std::string acceptance(const PairingCode& code, std::string_view macPublicKey,
                       std::string_view devicePublicKey);
bool isValidAcceptance(std::string_view confirmation, const PairingCode& code,
                       std::string_view macPublicKey, std::string_view devicePublicKey);

}  // namespace meterwright::PairingProof
