#include "core/sync/pairing/PublisherHandshake.h"

#include "core/sync/pairing/PairingProof.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright::PublisherHandshake {

namespace {

using Reason = SyncMessage::Failure::Reason;

Answer refusal(Reason reason, std::optional<PairingInvitation> usesUp = std::nullopt) {
  return Answer{SyncMessage{SyncMessage::Failure::standard(reason)}, std::nullopt, false,
                std::move(usesUp), true};
}

Answer answerPairRequest(const SyncMessage::PairRequest& request,
                         const std::optional<PairingInvitation>& invitation, Date now,
                         const PairingIdentity& mac) {
  if (!invitation || invitation->isExpired(now)) return refusal(Reason::codeNoLongerValid);
  if (request.version > SyncProtocol::version) return refusal(Reason::needsNewerApp);
  // One guess per code.
  if (!PairingProof::isValidRequest(request.proof, invitation->code, request.deviceID,
                                    request.publicKey)) {
    return refusal(Reason::codeWrong, invitation);
  }
  std::optional<SymmetricKey> key = mac.sharedKey(request.publicKey, invitation->code);
  if (!key) return refusal(Reason::keyAgreementFailed);

  std::string macKey = mac.publicKeyData();
  std::string confirmation = PairingProof::acceptance(invitation->code, macKey, request.publicKey);
  return Answer{
      SyncMessage{SyncMessage::PairAccepted{SyncProtocol::version, mac.deviceID(), mac.deviceName(),
                                            std::move(macKey), std::move(confirmation)}},
      PairingRecord{PairedDevice{request.deviceID, request.deviceName, request.platform, now, now},
                    *key},
      true, invitation, false};
}

Answer answerHello(const SyncMessage::Hello& hello, Date now, const PairingIdentity& mac,
                   const std::map<Uuid, PairingRecord>& known, const KeyLookup& storedKey) {
  if (hello.version > SyncProtocol::version) return refusal(Reason::needsNewerApp);

  auto record = known.find(hello.deviceID);
  std::optional<SymmetricKey> key;
  if (record != known.end()) {
    key = record->second.key;
  } else if (storedKey) {
    key = storedKey(hello.deviceID);
  }
  if (!key) return refusal(Reason::deviceNotRecognised);

  // A device paired earlier in this run keeps when it paired; one known only to the store starts
  // now.
  Date pairedAt = record != known.end() ? record->second.device.pairedAt : now;
  return Answer{
      SyncMessage{SyncMessage::Welcome{SyncProtocol::version, mac.deviceID(), mac.deviceName()}},
      PairingRecord{PairedDevice{hello.deviceID, hello.deviceName, hello.platform, pairedAt, now},
                    *key},
      false, std::nullopt, false};
}

}  // namespace

Answer answer(const SyncMessage& message, const std::optional<PairingInvitation>& invitation,
              Date now, const PairingIdentity& mac, const std::map<Uuid, PairingRecord>& known,
              const KeyLookup& storedKey) {
  if (const auto* request = message.as<SyncMessage::PairRequest>()) {
    return answerPairRequest(*request, invitation, now, mac);
  }
  if (const auto* hello = message.as<SyncMessage::Hello>()) {
    return answerHello(*hello, now, mac, known, storedKey);
  }
  return {};
}

}  // namespace meterwright::PublisherHandshake
