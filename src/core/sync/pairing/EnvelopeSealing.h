#pragma once

#include <string_view>

#include "core/crypto/SymmetricKey.h"
#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/sync/protocol/SyncPayload.h"
#include "core/sync/protocol/SyncResult.h"

// Sealing a payload for one paired device and opening it there: the payload's sync JSON under
// ChaCha20-Poly1305 with the device's key, a fresh 12-byte nonce and no additional data, carried
// as nonce ‖ ciphertext ‖ tag. The envelope's version and sender travel in the clear.
namespace meterwright::EnvelopeSealing {

constexpr std::size_t nonceBytes = 12;
constexpr std::size_t tagBytes = 16;

// couldNotEncode when the payload has a value JSON cannot carry.
SyncResult<SyncEnvelope> seal(const SyncPayload& payload, const Uuid& senderID,
                              const SymmetricKey& key);

// unsupportedVersion(version) for an envelope newer than ours, before anything is decrypted;
// decryptionFailed for anything else that goes wrong (too short, wrong key, altered bytes, a
// plaintext that is not a payload).
SyncResult<SyncPayload> open(const SyncEnvelope& envelope, const SymmetricKey& key);

// seal() with a caller's nonce, so known-answer checks can pin the sealed bytes. A nonce must
// never be used twice with one key; production code calls seal().
SyncResult<SyncEnvelope> sealWithNonce(const SyncPayload& payload, const Uuid& senderID,
                                       const SymmetricKey& key, std::string_view nonce);

}  // namespace meterwright::EnvelopeSealing
