#include <gtest/gtest.h>

#include <string>

#include "core/crypto/Base64.h"
#include "core/crypto/HexBytes.h"
#include "core/sync/pairing/PairingIdentity.h"

namespace meterwright {
namespace {

using namespace testing;

// The expected keys were derived with Python's hmac module (HKDF-SHA-256 over RFC 7748's published
// shared secret).
const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const PairingCode code{"7K3QH9XWPM"};
const Date now = dateFromUnixSeconds(1'740'821'400);
const PairingIdentity device = *PairingIdentity::restore(deviceID, "Ada's iPhone", alicePrivate);
const PairingIdentity mac = *PairingIdentity::restore(macID, "Studio Mac", bobPrivate);

SymmetricKey keyFromHex(std::string_view hex) {
  return *SymmetricKey::fromBytes(fromHex(hex));
}

TEST(PairingIdentityTest, RestoringRebuildsTheKeyPairAndOnlyTheLengthCanBeWrong) {
  EXPECT_EQ(device.deviceName(), "Ada's iPhone");
  EXPECT_TRUE(device.publicKeyData() == alicePublic);
  EXPECT_TRUE(device.privateKeyData() == alicePrivate);
  PairingIdentity fresh(macID, "Studio Mac");
  EXPECT_FALSE(fresh == PairingIdentity(macID, "Studio Mac"));
  EXPECT_EQ(PairingIdentity::restore(macID, "Studio Mac", fresh.privateKeyData()), fresh);
  // X25519 clamps any 32 bytes into a valid scalar, so length is the only thing that can be wrong.
  for (std::string data : {std::string(), std::string(31, 'k'), std::string(33, 'k')}) {
    EXPECT_FALSE(PairingIdentity::restore(deviceID, "name", data)) << data.size() << " bytes";
  }
  EXPECT_TRUE(PairingIdentity::restore(deviceID, "name", std::string(32, '\xff')));
}

TEST(PairingIdentityTest, CodeAndTokenKeysMatchTheFixedVectorsFromBothSides) {
  EXPECT_EQ(PairingIdentity::keyDerivationInfo(), "Meterwright pairing v2");
  SymmetricKey expected =
      keyFromHex("567a694a14bbed357486ff346b081b22a2136adb63671b3365ffb4e3b3b73141");
  EXPECT_EQ(device.sharedKey(mac.publicKeyData(), code), expected);
  EXPECT_EQ(mac.sharedKey(device.publicKeyData(), code), expected);
  // The code's key is the token key with the ten characters as the token.
  EXPECT_EQ(device.sharedKey(mac.publicKeyData(), std::string_view("7K3QH9XWPM")), expected);
  EXPECT_EQ(device.sharedKey(mac.publicKeyData(), std::string_view("AAECAwQFBgcICQoLDA0ODw==")),
            keyFromHex("2252ba9c6df2dffa005ef33489faf2442a2c3492f316437e67f0ef279f90b12a"));
}

TEST(PairingIdentityTest, PeerKeysOfTheWrongLengthOrOfLowOrderGiveNoKey) {
  std::string lowOrder(32, '\0');
  lowOrder[0] = 1;
  for (const std::string& peer : {std::string(32, '\0'), lowOrder, alicePublic.substr(0, 31),
                                  alicePublic + "x", std::string()}) {
    EXPECT_FALSE(mac.sharedKey(peer, code)) << peer.size() << " bytes";
    EXPECT_FALSE(mac.sharedKey(peer, std::string_view("token")));
  }
}

TEST(PairingIdentityTest, GrantsAndInvitationsAreFreshAndAGrantCarriesTheDerivedKey) {
  PairingIdentity watch(Uuid::random(), "Ada's Watch");
  CloudPairingRequest request{2,         watch.deviceID(),      watch.deviceName(),
                              "watchOS", watch.publicKeyData(), addingSeconds(now, -30)};
  auto granted = mac.grant(request, now);
  ASSERT_TRUE(granted);
  const CloudPairingGrant& grant = granted->grant;
  EXPECT_EQ(grant, (CloudPairingGrant{2, macID, "Studio Mac", bobPublic, grant.token, now}));
  EXPECT_EQ(Base64::decode(grant.token).value_or("").size(), 16u);
  EXPECT_EQ(watch.sharedKey(grant.publicKey, std::string_view(grant.token)), granted->key);
  auto another = mac.grant(request, now);
  ASSERT_TRUE(another);
  EXPECT_NE(another->grant.token, grant.token);
  EXPECT_FALSE(another->key == granted->key);

  for (const std::string& unusable : {std::string(32, '\0'), alicePublic.substr(0, 16)}) {
    request.publicKey = unusable;
    EXPECT_FALSE(mac.grant(request, now));
  }
  auto first = mac.invitation(60, now);
  EXPECT_EQ(first.version, 2);
  EXPECT_EQ(first.expiresAt, dateFromUnixSeconds(1'740'821'460));
  EXPECT_NE(first.code, mac.invitation(60, now).code);
}

TEST(PairingIdentityTest, PrintingWithholdsKeyMaterial) {
  EXPECT_EQ(::testing::PrintToString(*mac.sharedKey(alicePublic, code)), "SymmetricKey(32 bytes)");
  std::string printed = ::testing::PrintToString(device);
  EXPECT_NE(printed.find(deviceID.text()), std::string::npos);
  EXPECT_EQ(printed.find(alicePrivate), std::string::npos);
  EXPECT_EQ(printed.find(toHex(alicePrivate)), std::string::npos);
}

}  // namespace
}  // namespace meterwright
