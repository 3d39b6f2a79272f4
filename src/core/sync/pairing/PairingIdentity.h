#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/crypto/SymmetricKey.h"
#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairingCode.h"
#include "core/sync/pairing/PairingInvitation.h"
#include "core/sync/protocol/CloudPairingGrant.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/time/Clock.h"

namespace meterwright {

// What the Mac answers an iCloud pairing request with: the grant to store for the device and the
// key to remember for it.
struct GrantedPairing {
  CloudPairingGrant grant;
  SymmetricKey key;

  bool operator==(const GrantedPairing&) const = default;
};

// A Mac's or device's long-term pairing identity: its id, its name and an X25519 key pair. The
// private key never leaves this object except through privateKeyData(), which the owner persists
// in the secret store; nothing prints it.
class PairingIdentity {
 public:
  static constexpr std::size_t keyBytes = 32;

  // A new random private key.
  PairingIdentity(Uuid deviceID, std::string deviceName);

  // Rebuilds a stored identity. Any 32 bytes are a usable X25519 private key (the scalar is
  // clamped when used), so only a length other than 32 makes the data invalid.
  static std::optional<PairingIdentity> restore(Uuid deviceID, std::string deviceName,
                                                std::string_view privateKeyData);

  const Uuid& deviceID() const { return deviceID_; }
  const std::string& deviceName() const { return deviceName_; }
  // Raw 32-byte keys.
  std::string publicKeyData() const;
  std::string privateKeyData() const;

  // Version 2, a fresh code, expiring `lifetime` seconds after `now`.
  PairingInvitation invitation(double lifetime, Date now) const;

  // The key agreed with the peer whose raw public key is given: X25519, then HKDF-SHA-256 salted
  // with the token (or the code's ten characters). Nothing for a key that is not 32 bytes or a
  // low-order point that would make the shared secret all zero.
  std::optional<SymmetricKey> sharedKey(std::string_view peerPublicKey,
                                        const PairingCode& code) const;
  std::optional<SymmetricKey> sharedKey(std::string_view peerPublicKey,
                                        std::string_view token) const;

  // "Meterwright pairing v2": the HKDF info, carrying the protocol version.
  static std::string keyDerivationInfo();

  // The Mac's answer to an iCloud pairing request: a fresh random token (16 bytes as Base64), the
  // key derived with it and a grant dated `now`. Nothing when the request's key is unusable.
  std::optional<GrantedPairing> grant(const CloudPairingRequest& request, Date now) const;

  friend bool operator==(const PairingIdentity& a, const PairingIdentity& b);

  friend void PrintTo(const PairingIdentity& identity, std::ostream* out) {
    *out << "PairingIdentity(" << identity.deviceID_.text() << ", \"" << identity.deviceName_
         << "\", private key withheld)";
  }

 private:
  using KeyBytes = std::array<std::uint8_t, keyBytes>;

  PairingIdentity(Uuid deviceID, std::string deviceName, const KeyBytes& privateKey);
  void derivePublicKey();
  std::string_view privateKeyView() const;

  Uuid deviceID_;
  std::string deviceName_;
  KeyBytes privateKey_{};
  KeyBytes publicKey_{};
};

}  // namespace meterwright
