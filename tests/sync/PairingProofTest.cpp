#include <gtest/gtest.h>

#include <string>

#include "core/sync/CryptoPrimitives.h"
#include "core/sync/PairingProof.h"
#include "sync/HexBytes.h"

namespace meterwright {
namespace {

using testing::fromHex;
using testing::toHex;

// The device's and the Mac's keys are RFC 7748's Alice and Bob; the expected transcripts are
// written out byte by byte, the expected proofs were computed with Python's hmac module.
const PairingCode code{"7K3QH9XWPM"};
const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const std::string devicePublic =
    fromHex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
const std::string macPublic =
    fromHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
const char* requestProofHex = "203467594416e77903c830ff3fe9295856d29c1bdf8d5d52251b31f7238b1c52";
const char* acceptanceHex = "3f56170306f4d14d9128b3f9ec5c2f4ec2b121c7ff9f45f3697e176d0cc83c77";

TEST(PairingProofTest, TranscriptHeadersAreTheFixedTextsOfVersionTwo) {
  EXPECT_EQ(PairingProof::transcript(PairingProof::requestLabel, {}), "Meterwright/2/pair-request");
  EXPECT_EQ(PairingProof::transcript(PairingProof::requestLabel, {}).size(), 26u);
  EXPECT_EQ(PairingProof::transcript(PairingProof::acceptanceLabel, {}),
            "Meterwright/2/pair-accept");
  EXPECT_EQ(PairingProof::transcript(PairingProof::acceptanceLabel, {}).size(), 25u);
}

TEST(PairingProofTest, TranscriptPartsCarryBigEndianLengthPrefixes) {
  std::string expected = std::string("Meterwright/2/x") + std::string("\0\0\0\0", 4) +
                         std::string("\0\0\0\3abc", 7) + std::string("\0\0\1\0", 4) +
                         std::string(256, 'z');
  EXPECT_EQ(toHex(PairingProof::transcript("x", {"", "abc", std::string(256, 'z')})),
            toHex(expected));
}

TEST(PairingProofTest, RequestTranscriptAndProofMatchTheFixedVector) {
  std::string transcript = fromHex(
      "4d657465727772696768742f322f706169722d72657175657374"  // "Meterwright/2/pair-request"
      "00000024"
      "30463845354131432d334232442d344336452d394137422d314432453346343035313632"  // UUID text
      "00000020"
      "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(
      toHex(PairingProof::transcript(PairingProof::requestLabel, {deviceID.text(), devicePublic})),
      toHex(transcript));
  std::string proof = PairingProof::request(code, deviceID, devicePublic);
  EXPECT_EQ(toHex(proof), requestProofHex);
  EXPECT_TRUE(PairingProof::isValidRequest(proof, code, deviceID, devicePublic));
}

TEST(PairingProofTest, AcceptanceTranscriptAndConfirmationMatchTheFixedVector) {
  std::string transcript = fromHex(
      "4d657465727772696768742f322f706169722d616363657074"  // "Meterwright/2/pair-accept"
      "00000020"
      "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"
      "00000020"
      "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(
      toHex(PairingProof::transcript(PairingProof::acceptanceLabel, {macPublic, devicePublic})),
      toHex(transcript));
  std::string confirmation = PairingProof::acceptance(code, macPublic, devicePublic);
  EXPECT_EQ(toHex(confirmation), acceptanceHex);
  EXPECT_TRUE(PairingProof::isValidAcceptance(confirmation, code, macPublic, devicePublic));
}

TEST(PairingProofTest, RequestProofMadeWithALowerCaseUuidDoesNotValidate) {
  std::string keyBytes = code.authenticationKey().byteString();
  auto proofOver = [&](const std::string& uuidText) {
    return CryptoPrimitives::hmacSha256(
        keyBytes, PairingProof::transcript(PairingProof::requestLabel, {uuidText, devicePublic}));
  };
  EXPECT_TRUE(
      PairingProof::isValidRequest(proofOver(deviceID.text()), code, deviceID, devicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(proofOver("0f8e5a1c-3b2d-4c6e-9a7b-1d2e3f405162"), code,
                                            deviceID, devicePublic));
}

TEST(PairingProofTest, ProofsFailForAnotherCodeDeviceKeyOrStep) {
  std::string proof = fromHex(requestProofHex);
  std::string confirmation = fromHex(acceptanceHex);
  EXPECT_FALSE(
      PairingProof::isValidRequest(proof, PairingCode{"7K3QH9XWPN"}, deviceID, devicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(proof, code, Uuid::random(), devicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(proof, code, deviceID, macPublic));
  EXPECT_FALSE(PairingProof::isValidAcceptance(confirmation, code, devicePublic, macPublic));
  // A request proof is no confirmation, even over the same keys.
  EXPECT_FALSE(PairingProof::isValidAcceptance(proof, code, macPublic, devicePublic));
}

TEST(PairingProofTest, ProofsOfTheWrongLengthOrWithAnyAlteredByteAreFalse) {
  std::string proof = fromHex(requestProofHex);
  EXPECT_FALSE(PairingProof::isValidRequest("", code, deviceID, devicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(proof.substr(0, 31), code, deviceID, devicePublic));
  EXPECT_FALSE(PairingProof::isValidRequest(proof + '\0', code, deviceID, devicePublic));
  for (std::size_t i = 0; i < proof.size(); ++i) {
    std::string altered = proof;
    altered[i] ^= 0x01;
    EXPECT_FALSE(PairingProof::isValidRequest(altered, code, deviceID, devicePublic)) << i;
  }
  std::string confirmation = fromHex(acceptanceHex);
  EXPECT_FALSE(
      PairingProof::isValidAcceptance(confirmation.substr(1), code, macPublic, devicePublic));
}

}  // namespace
}  // namespace meterwright
