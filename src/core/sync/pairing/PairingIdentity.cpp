#include "core/sync/pairing/PairingIdentity.h"

#include <cstring>

#include "core/crypto/Base64.h"
#include "core/crypto/CryptoPrimitives.h"
#include "core/crypto/Hkdf.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright {

PairingIdentity::PairingIdentity(Uuid deviceID, std::string deviceName)
    : deviceID_(deviceID), deviceName_(std::move(deviceName)) {
  std::string random = CryptoPrimitives::randomBytes(keyBytes);
  std::memcpy(privateKey_.data(), random.data(), keyBytes);
  CryptoPrimitives::wipe(random);
  derivePublicKey();
}

PairingIdentity::PairingIdentity(Uuid deviceID, std::string deviceName, const KeyBytes& privateKey)
    : deviceID_(deviceID), deviceName_(std::move(deviceName)), privateKey_(privateKey) {
  derivePublicKey();
}

void PairingIdentity::derivePublicKey() {
  // Cannot fail: the private key always has the right length.
  if (auto publicKey = CryptoPrimitives::x25519PublicKey(privateKeyView())) {
    std::memcpy(publicKey_.data(), publicKey->data(), keyBytes);
  }
}

std::optional<PairingIdentity> PairingIdentity::restore(Uuid deviceID, std::string deviceName,
                                                        std::string_view privateKeyData) {
  if (privateKeyData.size() != keyBytes) return std::nullopt;
  KeyBytes privateKey{};
  std::memcpy(privateKey.data(), privateKeyData.data(), keyBytes);
  return PairingIdentity(deviceID, std::move(deviceName), privateKey);
}

std::string_view PairingIdentity::privateKeyView() const {
  return std::string_view(reinterpret_cast<const char*>(privateKey_.data()), keyBytes);
}

std::string PairingIdentity::publicKeyData() const {
  return std::string(reinterpret_cast<const char*>(publicKey_.data()), keyBytes);
}

std::string PairingIdentity::privateKeyData() const {
  return std::string(privateKeyView());
}

PairingInvitation PairingIdentity::invitation(double lifetime, Date now) const {
  return PairingInvitation{SyncProtocol::version, PairingCode::fresh(),
                           addingSeconds(now, lifetime)};
}

std::optional<SymmetricKey> PairingIdentity::sharedKey(std::string_view peerPublicKey,
                                                       const PairingCode& code) const {
  return sharedKey(peerPublicKey, std::string_view(code.value));
}

std::optional<SymmetricKey> PairingIdentity::sharedKey(std::string_view peerPublicKey,
                                                       std::string_view token) const {
  auto secret = CryptoPrimitives::x25519(privateKeyView(), peerPublicKey);
  if (!secret) return std::nullopt;
  auto derived = Hkdf::deriveKey(*secret, token, keyDerivationInfo(), SymmetricKey::byteCount);
  CryptoPrimitives::wipe(*secret);
  if (!derived) return std::nullopt;
  auto key = SymmetricKey::fromBytes(*derived);
  CryptoPrimitives::wipe(*derived);
  return key;
}

std::string PairingIdentity::keyDerivationInfo() {
  return "Meterwright pairing v" + std::to_string(SyncProtocol::version);
}

std::optional<GrantedPairing> PairingIdentity::grant(const CloudPairingRequest& request,
                                                     Date now) const {
  std::string token = Base64::encode(CryptoPrimitives::randomBytes(16));
  auto key = sharedKey(request.publicKey, std::string_view(token));
  if (!key) return std::nullopt;
  CloudPairingGrant grant{SyncProtocol::version, deviceID_,        deviceName_,
                          publicKeyData(),       std::move(token), now};
  return GrantedPairing{std::move(grant), *key};
}

bool operator==(const PairingIdentity& a, const PairingIdentity& b) {
  return a.deviceID_ == b.deviceID_ && a.deviceName_ == b.deviceName_ &&
         CryptoPrimitives::constantTimeEqual(a.privateKeyView(), b.privateKeyView());
}

}  // namespace meterwright
