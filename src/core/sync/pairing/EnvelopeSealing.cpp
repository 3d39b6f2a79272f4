#include "core/sync/pairing/EnvelopeSealing.h"

#include "core/crypto/CryptoPrimitives.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright::EnvelopeSealing {

SyncResult<SyncEnvelope> seal(const SyncPayload& payload, const Uuid& senderID,
                              const SymmetricKey& key) {
  return sealWithNonce(payload, senderID, key, CryptoPrimitives::randomBytes(nonceBytes));
}

SyncResult<SyncEnvelope> sealWithNonce(const SyncPayload& payload, const Uuid& senderID,
                                       const SymmetricKey& key, std::string_view nonce) {
  auto json = SyncCoding::encode(payload);
  if (!json) return SyncError::couldNotEncode();
  auto box = CryptoPrimitives::chachaSeal(key.view(), nonce, *json);
  // Only a nonce of the wrong length gets here; seal() always passes twelve bytes.
  if (!box) return SyncError::couldNotEncode();
  std::string sealed(nonce);
  sealed += *box;
  return SyncEnvelope{SyncProtocol::version, senderID, std::move(sealed)};
}

SyncResult<SyncPayload> open(const SyncEnvelope& envelope, const SymmetricKey& key) {
  if (envelope.version > SyncProtocol::version) {
    return SyncError::unsupportedVersion(envelope.version);
  }
  std::string_view sealed = envelope.sealed;
  if (sealed.size() < nonceBytes + tagBytes)
    return SyncError::of(SyncError::Kind::decryptionFailed);
  auto plaintext = CryptoPrimitives::chachaOpen(key.view(), sealed.substr(0, nonceBytes),
                                                sealed.substr(nonceBytes));
  if (!plaintext) return SyncError::of(SyncError::Kind::decryptionFailed);
  auto payload = SyncCoding::decodePayload(*plaintext);
  if (!payload) return SyncError::of(SyncError::Kind::decryptionFailed);
  return std::move(*payload);
}

}  // namespace meterwright::EnvelopeSealing
