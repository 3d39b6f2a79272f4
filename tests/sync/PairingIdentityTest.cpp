#include <gtest/gtest.h>

#include <string>

#include "core/encoding/Base64.h"
#include "core/sync/PairingIdentity.h"
#include "sync/HexBytes.h"

namespace meterwright {
namespace {

using testing::fromHex;

// RFC 7748's Alice pairs as the device and Bob as the Mac. The expected keys were derived with
// Python's hmac module (HKDF-SHA-256 over their published shared secret).
const std::string alicePrivate =
    fromHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
const std::string alicePublic =
    fromHex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
const std::string bobPrivate =
    fromHex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const PairingCode code{"7K3QH9XWPM"};
const Date now = dateFromUnixSeconds(1'740'821'400);

SymmetricKey keyFromHex(std::string_view hex) {
  return *SymmetricKey::fromBytes(fromHex(hex));
}

PairingIdentity device() {
  return *PairingIdentity::restore(deviceID, "Ada's iPhone", alicePrivate);
}

PairingIdentity mac() {
  return *PairingIdentity::restore(macID, "Studio Mac", bobPrivate);
}

TEST(PairingIdentityTest, RestoringPrivateKeyDataRebuildsTheSameKeyPair) {
  PairingIdentity restored = device();
  EXPECT_EQ(restored.deviceID(), deviceID);
  EXPECT_EQ(restored.deviceName(), "Ada's iPhone");
  EXPECT_TRUE(restored.publicKeyData() == alicePublic);
  EXPECT_TRUE(restored.privateKeyData() == alicePrivate);

  PairingIdentity fresh(macID, "Studio Mac");
  auto again = PairingIdentity::restore(macID, "Studio Mac", fresh.privateKeyData());
  ASSERT_TRUE(again);
  EXPECT_TRUE(*again == fresh);
  EXPECT_EQ(again->publicKeyData(), fresh.publicKeyData());
}

TEST(PairingIdentityTest, OnlyKeyDataOfAnotherLengthThan32BytesIsRefused) {
  // X25519 clamps any 32 bytes into a valid scalar, so length is the only thing that can be wrong.
  for (std::string data :
       {std::string(), std::string(31, 'k'), std::string(33, 'k'), alicePrivate + alicePrivate}) {
    EXPECT_FALSE(PairingIdentity::restore(deviceID, "name", data)) << data.size() << " bytes";
  }
  for (std::string data : {std::string(32, '\0'), std::string(32, '\xff')}) {
    auto identity = PairingIdentity::restore(deviceID, "name", data);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->publicKeyData().size(), 32u);
  }
}

TEST(PairingIdentityTest, NewIdentitiesHaveTheirOwnRandomKeys) {
  PairingIdentity first(deviceID, "name");
  PairingIdentity second(deviceID, "name");
  EXPECT_EQ(first.publicKeyData().size(), 32u);
  EXPECT_FALSE(first == second);
  EXPECT_NE(first.publicKeyData(), second.publicKeyData());
}

TEST(PairingIdentityTest, IdentitiesCompareByIdNameAndKey) {
  EXPECT_TRUE(device() == device());
  EXPECT_FALSE(device() == *PairingIdentity::restore(deviceID, "Other", alicePrivate));
  EXPECT_FALSE(device() == *PairingIdentity::restore(macID, "Ada's iPhone", alicePrivate));
  EXPECT_FALSE(device() == *PairingIdentity::restore(deviceID, "Ada's iPhone", bobPrivate));
}

TEST(PairingIdentityTest, CodeKeyMatchesTheFixedVectorFromBothSides) {
  EXPECT_EQ(PairingIdentity::keyDerivationInfo(), "Meterwright pairing v2");
  EXPECT_EQ(PairingIdentity::keyDerivationInfo().size(), 22u);
  SymmetricKey expected =
      keyFromHex("567a694a14bbed357486ff346b081b22a2136adb63671b3365ffb4e3b3b73141");
  auto deviceSide = device().sharedKey(mac().publicKeyData(), code);
  auto macSide = mac().sharedKey(device().publicKeyData(), code);
  ASSERT_TRUE(deviceSide && macSide);
  EXPECT_TRUE(*deviceSide == expected);
  EXPECT_TRUE(*macSide == expected);
  // The code's key is the token key with the ten characters as the token.
  auto viaToken = device().sharedKey(mac().publicKeyData(), std::string_view("7K3QH9XWPM"));
  ASSERT_TRUE(viaToken);
  EXPECT_TRUE(*viaToken == expected);
}

TEST(PairingIdentityTest, TokenKeyMatchesTheFixedVectorAndDependsOnTheToken) {
  auto key =
      device().sharedKey(mac().publicKeyData(), std::string_view("AAECAwQFBgcICQoLDA0ODw=="));
  ASSERT_TRUE(key);
  EXPECT_TRUE(*key ==
              keyFromHex("2252ba9c6df2dffa005ef33489faf2442a2c3492f316437e67f0ef279f90b12a"));
  auto other =
      device().sharedKey(mac().publicKeyData(), std::string_view("AAECAwQFBgcICQoLDA0ODg=="));
  ASSERT_TRUE(other);
  EXPECT_FALSE(*other == *key);
}

TEST(PairingIdentityTest, TwoFreshIdentitiesPairingInMemoryAgreeOnOneKey) {
  PairingIdentity phone(Uuid::random(), "Phone");
  PairingIdentity studio(Uuid::random(), "Studio");
  PairingCode shown = PairingCode::fresh();
  auto phoneKey = phone.sharedKey(studio.publicKeyData(), shown);
  auto studioKey = studio.sharedKey(phone.publicKeyData(), shown);
  ASSERT_TRUE(phoneKey && studioKey);
  EXPECT_TRUE(*phoneKey == *studioKey);
  // An eavesdropper's key pair, or the right pair with another code, gets another key.
  PairingIdentity eve(Uuid::random(), "Eve");
  EXPECT_FALSE(*eve.sharedKey(studio.publicKeyData(), shown) == *studioKey);
  PairingCode other{shown.value == "0000000000" ? "0000000001" : "0000000000"};
  EXPECT_FALSE(*phone.sharedKey(studio.publicKeyData(), other) == *studioKey);
}

TEST(PairingIdentityTest, PeerKeysOfTheWrongLengthOrOfLowOrderGiveNoKey) {
  std::string lowOrder(32, '\0');
  lowOrder[0] = 1;
  for (const std::string& peer : {std::string(32, '\0'), lowOrder, alicePublic.substr(0, 31),
                                  alicePublic + "x", std::string()}) {
    EXPECT_FALSE(mac().sharedKey(peer, code)) << peer.size() << " bytes";
    EXPECT_FALSE(mac().sharedKey(peer, std::string_view("token")));
  }
}

TEST(PairingIdentityTest, InvitationsCarryVersionTwoAFreshCodeAndTheirExpiry) {
  auto first = mac().invitation(60, now);
  auto second = mac().invitation(60, now);
  EXPECT_EQ(first.version, 2);
  EXPECT_EQ(first.expiresAt, dateFromUnixSeconds(1'740'821'460));
  EXPECT_EQ(PairingCode::from(first.code.value), first.code);
  EXPECT_NE(first.code, second.code);
  EXPECT_FALSE(first.isExpired(addingSeconds(now, 59.9)));
  EXPECT_TRUE(first.isExpired(addingSeconds(now, 60)));
}

CloudPairingRequest requestFrom(const PairingIdentity& identity) {
  return CloudPairingRequest{2,         identity.deviceID(),      identity.deviceName(),
                             "watchOS", identity.publicKeyData(), addingSeconds(now, -30)};
}

TEST(PairingIdentityTest, GrantIssuesARandomTokenAndTheKeyTheDeviceDerivesFromIt) {
  PairingIdentity watch(Uuid::random(), "Ada's Watch");
  auto granted = mac().grant(requestFrom(watch), now);
  ASSERT_TRUE(granted);
  const CloudPairingGrant& grant = granted->grant;
  EXPECT_EQ(grant.version, 2);
  EXPECT_EQ(grant.macID, macID);
  EXPECT_EQ(grant.macName, "Studio Mac");
  EXPECT_EQ(grant.publicKey, mac().publicKeyData());
  EXPECT_EQ(grant.grantedAt, now);
  EXPECT_EQ(grant.token.size(), 24u);
  EXPECT_EQ(Base64::decode(grant.token).value_or("").size(), 16u);

  auto deviceKey = watch.sharedKey(grant.publicKey, std::string_view(grant.token));
  ASSERT_TRUE(deviceKey);
  EXPECT_TRUE(*deviceKey == granted->key);

  auto another = mac().grant(requestFrom(watch), now);
  ASSERT_TRUE(another);
  EXPECT_NE(another->grant.token, grant.token);
  EXPECT_FALSE(another->key == granted->key);
}

TEST(PairingIdentityTest, GrantFailsForARequestWithAnUnusableKey) {
  CloudPairingRequest request = requestFrom(device());
  request.publicKey = std::string(32, '\0');
  EXPECT_FALSE(mac().grant(request, now));
  request.publicKey = alicePublic.substr(0, 16);
  EXPECT_FALSE(mac().grant(request, now));
}

}  // namespace
}  // namespace meterwright
