#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/crypto/HexBytes.h"
#include "core/sync/pairing/PairingCode.h"
#include "core/sync/pairing/PairingInvitation.h"

namespace meterwright {
namespace {

const PairingCode sample{"7K3QH9XWPM"};

TEST(PairingCodeTest, FreshCodesAreTenAlphabetSymbolsWithoutConfusableLetters) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    PairingCode code = PairingCode::fresh();
    EXPECT_EQ(code.value.find_first_not_of("0123456789ABCDEFGHJKMNPQRSTVWXYZ"), std::string::npos);
    EXPECT_EQ(PairingCode::from(code.value), code);
    seen.insert(code.value);
  }
  EXPECT_GT(seen.size(), 195u);
  EXPECT_EQ(PairingCode::fromRandomBytes(testing::fromHex("00 01 09 0a 1f 20 3f e0 ff 75")).value,
            "019AZ0Z0ZN");
}

TEST(PairingCodeTest, NormalisingUpperCasesReadsConfusablesAndDropsEverythingElse) {
  // A letter with a combining mark is no bare letter; bytes that are not UTF-8 are dropped.
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"abc-def ghj", "ABCDEFGHJ"}, {"oOiIlL", "001111"}, {"uU!?_.,\t\n", ""},
      {"Ünï-cödé 𝟘 ٣", "NCD"},      {"A\u0308B", "B"},    {"\xff\xfe\x41\x42\x80", "AB"}};
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(PairingCode::normalised(text), expected) << text;
  }
}

TEST(PairingCodeTest, ParseEdgeCasesAndTheFormsItReadsBack) {
  const std::optional<PairingCode> none;
  const std::vector<std::pair<const char*, std::optional<PairingCode>>> rows = {
      {"  7k3qh-9xwpm \n", sample},
      {"7K3QH-9XWPM", sample},
      {"7 K 3 Q H 9 X W P M", sample},
      {"O1ILO-lioIi", PairingCode{"0111011011"}},
      // One U among ten valid characters still parses; with nine it does not.
      {"7K3QHU9XWPM", sample},
      {"7K3QHU9XWP", none},
      // The link prefix in any letter case, so "meterwright" and "pair" never join the code.
      {"meterwright://pair/7K3QH-9XWPM", sample},
      {" METERWRIGHT://PAIR/7k3qh-9xwpm\n", sample},
      {"MeterWright://Pair/7K3QH9XWPM", sample},
      {"meterwright://pair/", none},
      {"meterwright://pairs/7K3QH-9XWPM", none},
      {"7K3QH-9XWPMA", none},
      {"7K3QH-9XWP", none},
      {"", none},
      {"   \n", none},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(PairingCode::parse(text), expected) << text;
  EXPECT_EQ(PairingCode::from("7k3qh 9xwpm"), sample);
  EXPECT_EQ(PairingCode::from("7K3QH9XWP"), std::nullopt);
  EXPECT_EQ(sample.formatted(), "7K3QH-9XWPM");
  EXPECT_EQ(sample.qrPayload(), "meterwright://pair/7K3QH-9XWPM");
  EXPECT_EQ((PairingInvitation{2, sample, {}}.encoded()), sample.qrPayload());
}

TEST(PairingCodeTest, AuthenticationKeyIsTheSha256OfTheTenCharacters) {
  auto expected = SymmetricKey::fromBytes(
      testing::fromHex("515ad4c00a5f4967cfebfc669586734cbfe6de3a94b26de132486e4e9d0bda69"));
  ASSERT_TRUE(expected);
  EXPECT_TRUE(sample.authenticationKey() == *expected);
  EXPECT_FALSE(PairingCode{"7K3QH9XWPN"}.authenticationKey() == *expected);
}

TEST(PairingInvitationTest, ExpiresAtItsExpiryInstantAndDecodesOnlyTextWithACode) {
  Date expiry = dateFromUnixSeconds(1'740'821'460);
  PairingInvitation invitation{2, sample, expiry};
  EXPECT_FALSE(invitation.isExpired(addingSeconds(expiry, -0.001)));
  EXPECT_TRUE(invitation.isExpired(expiry));

  EXPECT_EQ(PairingInvitation::decode("meterwright://pair/7k3qh-9xwpm").value(), sample);
  for (const char* bad : {"", "meterwright://pair/", "hello", "7K3QH-9XWPM-7K3QH"}) {
    auto failed = PairingInvitation::decode(bad);
    ASSERT_FALSE(failed.ok()) << bad;
    EXPECT_EQ(failed.error(), SyncError::of(SyncError::Kind::malformedInvitation));
  }
}

}  // namespace
}  // namespace meterwright
