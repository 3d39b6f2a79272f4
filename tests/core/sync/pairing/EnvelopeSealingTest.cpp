#include <gtest/gtest.h>

#include <string>

#include "core/crypto/Base64.h"
#include "core/crypto/CryptoPrimitives.h"
#include "core/crypto/HexBytes.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {
namespace {

const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
// The key RFC 7748's Alice and Bob derive with the code 7K3QH9XWPM.
const SymmetricKey pairedKey = *SymmetricKey::fromBytes(
    testing::fromHex("567a694a14bbed357486ff346b081b22a2136adb63671b3365ffb4e3b3b73141"));
const SyncError decryptionFailed = SyncError::of(SyncError::Kind::decryptionFailed);

SyncPayload samplePayload() {
  SyncPayload payload;
  payload.version = 2;
  payload.sentAt = dateFromUnixSeconds(1'740'821'400.5);
  payload.sourceName = "Studio Mac";
  payload.snapshot.generatedAt = dateFromUnixSeconds(1'740'821'400);
  payload.snapshot.sourcePath = "direct";
  payload.metric = Config::Metric::used;
  payload.warnBelowRemainingPercent = 15;
  return payload;
}

SyncEnvelope sealedSample() {
  return EnvelopeSealing::seal(samplePayload(), macID, pairedKey).value();
}

TEST(EnvelopeSealingTest, OpensAnEnvelopeSealedByAnIndependentImplementation) {
  // Sealed with Python's cryptography package (OpenSSL's ChaCha20-Poly1305) under the fixed key,
  // nonce 01…0c, over a hand-written payload JSON.
  SyncEnvelope envelope{
      2, macID,
      *Base64::decode(
          "AQIDBAUGBwgJCgsM+oYU9o2Ye6ZcbG/PkapN/cRjoZzB5lEC7R1PJvtE/3+k4jY9/"
          "e4Cu7voFMIYRjhel8AjasXSVH5c+MUnbLPo5Gc/"
          "f4YgMcJUDFHUbsS0vhBrDDyXsZn4Zn8bMNKctxJVKiEh4D4i2dKzpRU09ALThqdkWh9MQ62aR9w"
          "AkMdDTB7Vtcn/KA9VJGMrXmKFDY0+T/OBu/Ya3zVKSplJeozcwk4deF4Gjp3OsCeh1T+bnavvxe6iT8eV/"
          "ixS203n3N7wgilBTqNvMtI7bCjlp5ICiwlEyiApeQ==")};
  ASSERT_EQ(envelope.sealed.size(), 226u);
  auto opened = EnvelopeSealing::open(envelope, pairedKey);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value(), samplePayload());
}

TEST(EnvelopeSealingTest, SealedBytesAreAFreshNonceThenCiphertextOfTheSyncJsonThenTag) {
  std::string nonce = testing::fromHex("0102030405060708090a0b0c");
  auto sealed = EnvelopeSealing::sealWithNonce(samplePayload(), macID, pairedKey, nonce);
  ASSERT_TRUE(sealed.ok());
  const SyncEnvelope& envelope = sealed.value();
  EXPECT_EQ(envelope.version, 2);
  EXPECT_EQ(envelope.senderID, macID);
  auto json = SyncCoding::encode(samplePayload());
  ASSERT_TRUE(json);
  ASSERT_EQ(envelope.sealed.size(), 12 + json->size() + 16);
  EXPECT_EQ(envelope.sealed.substr(0, 12), nonce);
  // No additional data: the box opens with none.
  EXPECT_EQ(CryptoPrimitives::chachaOpen(pairedKey.view(), nonce, envelope.sealed.substr(12)),
            *json);
  EXPECT_FALSE(EnvelopeSealing::sealWithNonce(samplePayload(), macID, pairedKey, "short").ok());
  EXPECT_NE(sealedSample().sealed.substr(0, 12), sealedSample().sealed.substr(0, 12));

  SyncPayload notUtf8 = samplePayload();
  notUtf8.sourceName = "\xff\xfe not UTF-8";
  EXPECT_EQ(EnvelopeSealing::seal(notUtf8, macID, pairedKey).error(), SyncError::couldNotEncode());
}

TEST(EnvelopeSealingTest, EveryAlteredOrTruncatedBoxFailsAsDecryptionFailed) {
  const SyncEnvelope original = sealedSample();
  for (std::size_t i = 0; i < original.sealed.size(); ++i) {
    SyncEnvelope altered = original;
    altered.sealed[i] ^= 0x20;
    EXPECT_EQ(EnvelopeSealing::open(altered, pairedKey).error(), decryptionFailed) << "byte " << i;
  }
  for (std::size_t length : {0ul, 11ul, 12ul, 27ul, 28ul, original.sealed.size() - 1}) {
    SyncEnvelope truncated = original;
    truncated.sealed.resize(length);
    EXPECT_EQ(EnvelopeSealing::open(truncated, pairedKey).error(), decryptionFailed) << length;
  }
  // Authentic plaintext that is no payload fails the same way.
  std::string nonce(12, '\x07');
  for (const char* plaintext : {"", "not json", R"({"version":2,"sentAt":1,"sourceName":"M"})"}) {
    auto box = CryptoPrimitives::chachaSeal(pairedKey.view(), nonce, plaintext);
    ASSERT_TRUE(box);
    EXPECT_EQ(EnvelopeSealing::open(SyncEnvelope{2, macID, nonce + *box}, pairedKey).error(),
              decryptionFailed)
        << plaintext;
  }
}

TEST(EnvelopeSealingTest, NewerEnvelopeVersionsFailBeforeDecryptionAndOlderOnesOpen) {
  SyncEnvelope newer = sealedSample();
  newer.version = 3;
  EXPECT_EQ(EnvelopeSealing::open(newer, pairedKey).error(), SyncError::unsupportedVersion(3));
  newer.sealed = "garbage";
  EXPECT_EQ(EnvelopeSealing::open(newer, pairedKey).error(), SyncError::unsupportedVersion(3));

  SyncEnvelope older = sealedSample();
  older.version = 1;
  EXPECT_EQ(EnvelopeSealing::open(older, pairedKey).value(), samplePayload());
}

}  // namespace
}  // namespace meterwright
