#include <gtest/gtest.h>

#include "core/crypto/Base64.h"
#include "core/encoding/Uuid.h"

namespace meterwright {
namespace {

TEST(Base64Test, RoundTripsAnyBytesAndRefusesTextThatIsNotCanonical) {
  // RFC 4648 section 10 vectors, then bytes that are not text.
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\0\xff\xfe", 3), "AP/+"},
  };
  for (const auto& [bytes, text] : vectors) {
    EXPECT_EQ(Base64::encode(bytes), text);
    EXPECT_EQ(Base64::decode(text), bytes) << text;
  }
  for (const char* text :
       {"Zg", "Zg=", "Zm9v!", "Zm9v Zm9v", "Zm9vYg==Zg==", "Zh==", "-_8=", "Zm9vYg==\n"}) {
    EXPECT_EQ(Base64::decode(text), std::nullopt) << text;
  }
}

TEST(UuidTest, TextIsUpperCaseParsesInEitherCaseAndRandomOnesAreVersionFour) {
  auto uuid = Uuid::parse("0f8e5a1c-3b2d-4c6e-9a7b-1d2e3f405162");
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->text(), "0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
  EXPECT_EQ(Uuid::parse(uuid->text()), uuid);
  for (const char* bad :
       {"", "0F8E5A1C3B2D4C6E9A7B1D2E3F405162", "0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F40516",
        "0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F4051623", "0F8E5A1C-3B2D-4C6E-9A7B_1D2E3F405162",
        "0F8E5A1G-3B2D-4C6E-9A7B-1D2E3F405162", "0F8E5A1C-3B2D-4C6E-9A7-B1D2E3F405162"}) {
    EXPECT_EQ(Uuid::parse(bad), std::nullopt) << bad;
  }
  Uuid first = Uuid::random();
  Uuid second = Uuid::random();
  EXPECT_NE(first, second);
  EXPECT_EQ(first.text()[14], '4');
  EXPECT_NE(std::string("89AB").find(first.text()[19]), std::string::npos);
}

}  // namespace
}  // namespace meterwright
