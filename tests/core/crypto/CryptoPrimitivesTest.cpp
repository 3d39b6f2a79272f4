#include <gtest/gtest.h>

#include <string>

#include "core/crypto/CryptoPrimitives.h"
#include "core/crypto/HexBytes.h"
#include "core/crypto/Hkdf.h"

namespace meterwright {
namespace {

using namespace testing;
namespace Crypto = CryptoPrimitives;

TEST(CryptoPrimitivesTest, X25519MatchesRfc7748) {
  const std::string shared = "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742";
  struct Vector {
    std::string scalar, u, result;
  };
  for (const Vector& vector : {
           Vector{fromHex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4"),
                  fromHex("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c"),
                  "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552"},
           Vector{fromHex("4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d"),
                  fromHex("e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493"),
                  "95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957"},
           Vector{alicePrivate, bobPublic, shared},
           Vector{bobPrivate, alicePublic, shared},
       }) {
    auto result = Crypto::x25519(vector.scalar, vector.u);
    ASSERT_TRUE(result) << vector.result;
    EXPECT_EQ(toHex(*result), vector.result);
  }
  EXPECT_EQ(Crypto::x25519PublicKey(alicePrivate), alicePublic);
  EXPECT_EQ(Crypto::x25519PublicKey(bobPrivate), bobPublic);
}

struct AeadVector {  // RFC 8439 section 2.8.2
  std::string key = fromHex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
  std::string nonce = fromHex("070000004041424344454647");
  std::string aad = fromHex("50515253c0c1c2c3c4c5c6c7");
  std::string plaintext =
      "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the "
      "future, sunscreen would be it.";
  std::string sealed = fromHex(
      "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9671282fafb69"
      "da92728b1a71de0a9e060b2905d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad67594"
      "5585808b4831d7bc3ff4def08e4b7a9de576d26586cec64b6116"
      "1ae10b594f09e26a7e902ecbd0600691");  // the tag
};

TEST(CryptoPrimitivesTest, ChaChaPolyMatchesRfc8439AndRefusesOtherAadAndWrongLengths) {
  AeadVector vector;
  auto sealed = Crypto::chachaSeal(vector.key, vector.nonce, vector.plaintext, vector.aad);
  ASSERT_TRUE(sealed);
  EXPECT_EQ(toHex(*sealed), toHex(vector.sealed));
  EXPECT_EQ(Crypto::chachaOpen(vector.key, vector.nonce, *sealed, vector.aad), vector.plaintext);
  EXPECT_FALSE(Crypto::chachaOpen(vector.key, vector.nonce, *sealed));
  std::string otherAad = vector.aad;
  otherAad[0] ^= 1;
  EXPECT_FALSE(Crypto::chachaOpen(vector.key, vector.nonce, *sealed, otherAad));

  const std::string tag = vector.sealed.substr(vector.sealed.size() - Crypto::chachaTagBytes);
  EXPECT_FALSE(Crypto::chachaOpen(vector.key, vector.nonce, tag.substr(1), vector.aad));
  EXPECT_FALSE(Crypto::chachaOpen(vector.key.substr(1), vector.nonce, vector.sealed, vector.aad));
  EXPECT_FALSE(Crypto::chachaOpen(vector.key, vector.nonce + "x", vector.sealed, vector.aad));
  EXPECT_FALSE(Crypto::chachaSeal(vector.key, vector.nonce.substr(4), "text"));
  auto empty = Crypto::chachaSeal(vector.key, vector.nonce, "");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size(), Crypto::chachaTagBytes);
  EXPECT_EQ(Crypto::chachaOpen(vector.key, vector.nonce, *empty), "");
}

// RFC 4231 test cases 1, 2 and 6: one call into libsodium, so a short key, a text key and a key
// longer than a block are the cases that differ.
TEST(CryptoPrimitivesTest, HmacSha256MatchesRfc4231) {
  struct Vector {
    std::string key, data;
    const char* mac;
  };
  for (const Vector& vector : {
           Vector{std::string(20, '\x0b'), "Hi There",
                  "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
           Vector{"Jefe", "what do ya want for nothing?",
                  "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
           Vector{std::string(131, '\xaa'),
                  "Test Using Larger Than Block-Size Key - Hash Key First",
                  "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
       }) {
    EXPECT_EQ(toHex(Crypto::hmacSha256(vector.key, vector.data)), vector.mac) << vector.data;
  }
}

TEST(CryptoPrimitivesTest, ConstantTimeEqualNeedsTheSameLengthAndBytes) {
  const std::string withZero("a\0b", 3);
  EXPECT_TRUE(Crypto::constantTimeEqual("", ""));
  EXPECT_TRUE(Crypto::constantTimeEqual(withZero, std::string("a\0b", 3)));
  EXPECT_FALSE(Crypto::constantTimeEqual(withZero, std::string("a\0c", 3)));
  EXPECT_FALSE(Crypto::constantTimeEqual("abc", "ab"));
  EXPECT_FALSE(Crypto::constantTimeEqual("", "a"));
}

// RFC 5869 appendix A, test cases 1 to 3.
TEST(HkdfTest, MatchesTheSha256VectorsOfRfc5869) {
  struct Vector {
    std::string ikm, salt, info;
    std::size_t length;
    const char* prk;
    const char* okm;
  };
  auto range = [](int from, int to) {
    std::string bytes;
    for (int b = from; b < to; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
  };
  for (const Vector& vector : {
           Vector{std::string(22, '\x0b'), fromHex("000102030405060708090a0b0c"),
                  fromHex("f0f1f2f3f4f5f6f7f8f9"), 42,
                  "077709362c2e32df0ddc3f0dc47bba6390b6c73bb50f9c3122ec844ad7c2b3e5",
                  "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887"
                  "185865"},
           Vector{range(0x00, 0x50), range(0x60, 0xb0), range(0xb0, 0x100), 82,
                  "06a6b88c5853361a06104c9ceb35b45cef760014904671014a193f40c15fc244",
                  "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac782"
                  "7271cb41c65e590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3"
                  "434f1d87"},
           Vector{std::string(22, '\x0b'), "", "", 42,
                  "19ef24a32c717b167f33a91d6f648bdf96596776afdb6377ac434c1c293ccb04",
                  "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b6"
                  "1a96c8"},
       }) {
    std::string prk = Hkdf::extract(vector.salt, vector.ikm);
    EXPECT_EQ(toHex(prk), vector.prk);
    EXPECT_EQ(toHex(Hkdf::expand(prk, vector.info, vector.length).value_or("")), vector.okm);
    EXPECT_EQ(
        toHex(Hkdf::deriveKey(vector.ikm, vector.salt, vector.info, vector.length).value_or("")),
        vector.okm);
  }
}

TEST(HkdfTest, ShorterOutputIsAPrefixAndTheRfcLimitIsKept) {
  std::string prk = Hkdf::extract("salt", "input");
  auto full = Hkdf::expand(prk, "info", 255 * 32);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->size(), 255u * 32);
  EXPECT_EQ(Hkdf::expand(prk, "info", 33), full->substr(0, 33));
  EXPECT_EQ(Hkdf::expand(prk, "info", 0), "");
  EXPECT_EQ(Hkdf::expand(prk, "info", 255 * 32 + 1), std::nullopt);
}

}  // namespace
}  // namespace meterwright
