#include "core/sync/pairing/SubscriberHandshake.h"

#include <utility>

#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/pairing/PairingProof.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright::SubscriberHandshake {

namespace {

Outcome failed(SyncError error) {
  return Outcome{std::nullopt, std::nullopt, std::move(error), false};
}

Outcome acceptance(const SyncMessage::PairAccepted& accepted, const PairingIdentity& device,
                   const std::optional<PairingCode>& code) {
  if (!code) return failed(SyncError::of(SyncError::Kind::notPaired));
  if (!PairingProof::isValidAcceptance(accepted.confirmation, *code, accepted.publicKey,
                                       device.publicKeyData())) {
    return Outcome{std::nullopt, std::nullopt,
                   SyncError::of(SyncError::Kind::macDidNotProveTheCode), true};
  }
  std::optional<SymmetricKey> key = device.sharedKey(accepted.publicKey, *code);
  // The Mac proved the code but its key is unusable: the pairing stays open and unkeyed.
  if (!key) return failed(SyncError::of(SyncError::Kind::decryptionFailed));
  return Outcome{key, std::nullopt, std::nullopt, false};
}

Outcome snapshot(const SyncEnvelope& envelope, const std::optional<SymmetricKey>& key) {
  if (!key) return failed(SyncError::of(SyncError::Kind::notPaired));
  SyncResult<SyncPayload> opened = EnvelopeSealing::open(envelope, *key);
  if (opened.ok()) return Outcome{std::nullopt, std::move(opened).value(), std::nullopt, false};
  SyncError::Kind kind = opened.error().kind;
  return failed(kind == SyncError::Kind::unsupportedVersion ||
                        kind == SyncError::Kind::decryptionFailed
                    ? opened.error()
                    : SyncError::of(SyncError::Kind::decryptionFailed));
}

}  // namespace

std::vector<SyncMessage> opening(const PairingIdentity& device, const std::string& platform,
                                 const std::optional<PairingCode>& code) {
  if (code) {
    std::string publicKey = device.publicKeyData();
    std::string proof = PairingProof::request(*code, device.deviceID(), publicKey);
    return {{SyncMessage::PairRequest{SyncProtocol::version, device.deviceID(), device.deviceName(),
                                      platform, std::move(publicKey), std::move(proof)}}};
  }
  return {
      {SyncMessage::Hello{SyncProtocol::version, device.deviceID(), device.deviceName(), platform}},
      {SyncMessage::RequestSnapshot{}}};
}

Outcome receive(const SyncMessage& message, const PairingIdentity& device,
                const std::optional<PairingCode>& code, const std::optional<SymmetricKey>& key) {
  if (const auto* accepted = message.as<SyncMessage::PairAccepted>()) {
    return acceptance(*accepted, device, code);
  }
  if (const auto* envelope = message.as<SyncEnvelope>()) return snapshot(*envelope, key);
  if (const auto* failure = message.as<SyncMessage::Failure>()) {
    return failed(SyncError::refused(*failure));
  }
  // A welcome needs no answer; the device-bound cases never come from a Mac.
  return {};
}

}  // namespace meterwright::SubscriberHandshake
