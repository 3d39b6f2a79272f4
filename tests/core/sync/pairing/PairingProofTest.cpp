#include <gtest/gtest.h>

#include <string>

#include "core/crypto/CryptoPrimitives.h"
#include "core/crypto/HexBytes.h"
#include "core/sync/pairing/PairingProof.h"

namespace meterwright {
namespace {

using namespace testing;

// The device is RFC 7748's Alice and the Mac its Bob; the transcripts are written out byte by
// byte, the proofs were computed with Python's hmac module.
const PairingCode code{"7K3QH9XWPM"};
const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const std::string requestProof =
    fromHex("203467594416e77903c830ff3fe9295856d29c1bdf8d5d52251b31f7238b1c52");
const std::string confirmation =
    fromHex("3f56170306f4d14d9128b3f9ec5c2f4ec2b121c7ff9f45f3697e176d0cc83c77");

TEST(PairingProofTest, TranscriptsAreTheFixedTextThenBigEndianLengthPrefixedParts) {
  EXPECT_EQ(PairingProof::transcript(PairingProof::requestLabel, {}), "Meterwright/2/pair-request");
  EXPECT_EQ(PairingProof::transcript(PairingProof::acceptanceLabel, {}),
            "Meterwright/2/pair-accept");
  std::string expected = std::string("Meterwright/2/x") + std::string("\0\0\0\0\0\0\0\3abc", 11) +
                         std::string("\0\0\1\0", 4) + std::string(256, 'z');
  EXPECT_EQ(toHex(PairingProof::transcript("x", {"", "abc", std::string(256, 'z')})),
            toHex(expected));
}

TEST(PairingProofTest, RequestAndAcceptanceMatchTheFixedVectors) {
  EXPECT_EQ(
      toHex(PairingProof::transcript(PairingProof::requestLabel, {deviceID.text(), alicePublic})),
      "4d657465727772696768742f322f706169722d72657175657374"  // "Meterwright/2/pair-request"
      "00000024"
      "30463845354131432d334232442d344336452d394137422d314432453346343035313632"  // UUID text
      "00000020" +
          toHex(alicePublic));
  EXPECT_EQ(toHex(PairingProof::request(code, deviceID, alicePublic)), toHex(requestProof));
  EXPECT_TRUE(PairingProof::isValidRequest(requestProof, code, deviceID, alicePublic));

  EXPECT_EQ(
      toHex(PairingProof::transcript(PairingProof::acceptanceLabel, {bobPublic, alicePublic})),
      "4d657465727772696768742f322f706169722d616363657074"  // "Meterwright/2/pair-accept"
      "00000020" +
          toHex(bobPublic) + "00000020" + toHex(alicePublic));
  EXPECT_EQ(toHex(PairingProof::acceptance(code, bobPublic, alicePublic)), toHex(confirmation));
  EXPECT_TRUE(PairingProof::isValidAcceptance(confirmation, code, bobPublic, alicePublic));
}

TEST(PairingProofTest, ProofsFailForAnotherCodeDeviceKeyStepOrLowerCaseUuid) {
  EXPECT_FALSE(
      PairingProof::isValidRequest(requestProof, PairingCode{"7K3QH9XWPN"}, deviceID, alicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(requestProof, code, Uuid::random(), alicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(requestProof, code, deviceID, bobPublic));
  EXPECT_FALSE(PairingProof::isValidAcceptance(confirmation, code, alicePublic, bobPublic));
  // A request proof is no confirmation, even over the same keys.
  EXPECT_FALSE(PairingProof::isValidAcceptance(requestProof, code, bobPublic, alicePublic));
  auto proofOver = [](const std::string& uuidText) {
    return CryptoPrimitives::hmacSha256(
        code.authenticationKey().byteString(),
        PairingProof::transcript(PairingProof::requestLabel, {uuidText, alicePublic}));
  };
  ASSERT_EQ(proofOver(deviceID.text()), requestProof);
  EXPECT_FALSE(PairingProof::isValidRequest(proofOver("0f8e5a1c-3b2d-4c6e-9a7b-1d2e3f405162"), code,
                                            deviceID, alicePublic));
}

TEST(PairingProofTest, ProofsOfTheWrongLengthOrWithAnyAlteredByteAreFalse) {
  for (const std::string& proof :
       {std::string(), requestProof.substr(0, 31), requestProof + '\0'}) {
    EXPECT_FALSE(PairingProof::isValidRequest(proof, code, deviceID, alicePublic)) << proof.size();
  }
  for (std::size_t i = 0; i < requestProof.size(); ++i) {
    std::string altered = requestProof;
    altered[i] ^= 0x01;
    EXPECT_FALSE(PairingProof::isValidRequest(altered, code, deviceID, alicePublic)) << i;
  }
  EXPECT_FALSE(
      PairingProof::isValidAcceptance(confirmation.substr(1), code, bobPublic, alicePublic));
}

}  // namespace
}  // namespace meterwright
