#include <gtest/gtest.h>

#include <string>

#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncFraming.h"

namespace meterwright {
namespace {

const SyncMessage hello{SyncMessage::Hello{2, *Uuid::parse("6F1C1D2E-3A4B-4C5D-8E9F-A0B1C2D3E4F5"),
                                           "Anna’s iPhone", "iOS"}};

SyncMessage failureWithDetailOf(std::size_t length) {
  return {SyncMessage::Failure{std::nullopt, std::string(length, 'x')}};
}

SyncMessage messageWithBodyOf(std::size_t bodyBytes) {
  return failureWithDetailOf(bodyBytes - SyncCoding::encode(failureWithDetailOf(0))->size());
}

std::string prefix(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>((length >> 16) & 0xFF),
          static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
}

std::string frameOf(const SyncMessage& message) {
  return std::move(SyncFraming::encode(message)).value();
}

TEST(SyncFraming, EncodeWritesTheBigEndianBodyLengthThenTheCodersJson) {
  SyncMessage message = failureWithDetailOf(300);
  std::string json = *SyncCoding::encode(message);
  ASSERT_GT(json.size(), 255u);  // the length needs two bytes, so byte order shows
  EXPECT_EQ(frameOf(message), prefix(static_cast<std::uint32_t>(json.size())) + json);

  SyncResult<std::string> notUtf8 = SyncFraming::encode({SyncMessage::Failure{{}, "\xff\xfe"}});
  ASSERT_FALSE(notUtf8.ok());
  EXPECT_EQ(notUtf8.error(), SyncError::couldNotEncode());
}

TEST(SyncFraming, ABodyOfExactlyTheLimitPassesBothWaysAndOneByteMoreIsRefused) {
  SyncMessage large = messageWithBodyOf(1048576);
  SyncResult<std::string> atLimit = SyncFraming::encode(large);
  ASSERT_TRUE(atLimit.ok());
  EXPECT_EQ(atLimit.value().size(), 1048576u + 4);
  EXPECT_EQ(atLimit.value().substr(0, 4), prefix(0x100000));
  std::string buffer = atLimit.value();
  EXPECT_EQ(SyncFraming::decode(buffer).value(), std::vector<SyncMessage>{large});

  SyncResult<std::string> over = SyncFraming::encode(messageWithBodyOf(1048577));
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error(), SyncError::of(SyncError::Kind::messageTooLarge));
}

TEST(SyncFraming, DecodeRefusesOversizedPrefixesBeforeTheBodyAndBodiesThatAreNotMessages) {
  const SyncError tooLarge = SyncError::of(SyncError::Kind::messageTooLarge);
  for (std::uint32_t length : {0x100001u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    std::string buffer = prefix(length);
    EXPECT_EQ(SyncFraming::decode(buffer).error(), tooLarge) << length;
  }
  for (std::string body : {"", "{}", "not json", R"({"hello":{"_0":{}},"requestSnapshot":{}})"}) {
    std::string buffer = prefix(static_cast<std::uint32_t>(body.size())) + body;
    EXPECT_EQ(SyncFraming::decode(buffer).error(), SyncError::malformedMessage()) << body;
  }
}

}  // namespace
}  // namespace meterwright
