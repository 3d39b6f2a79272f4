#include <gtest/gtest.h>

#include <string>

#include "core/sync/SyncCoding.h"
#include "core/sync/SyncFraming.h"

namespace meterwright {
namespace {

SyncMessage hello() {
  return {SyncMessage::Hello{2, *Uuid::parse("6F1C1D2E-3A4B-4C5D-8E9F-A0B1C2D3E4F5"),
                             "Anna’s iPhone", "iOS"}};
}

SyncMessage failureWithDetailOf(std::size_t length) {
  return {SyncMessage::Failure{std::nullopt, std::string(length, 'x')}};
}

// A failure message whose JSON body is exactly `bodyBytes` long.
SyncMessage messageWithBodyOf(std::size_t bodyBytes) {
  std::size_t overhead = SyncCoding::encode(failureWithDetailOf(0))->size();
  return failureWithDetailOf(bodyBytes - overhead);
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
}

TEST(SyncFraming, EncodeAcceptsABodyOfExactlyTheLimitAndRefusesOneByteMore) {
  SyncResult<std::string> atLimit = SyncFraming::encode(messageWithBodyOf(1048576));
  ASSERT_TRUE(atLimit.ok());
  EXPECT_EQ(atLimit.value().size(), 1048576u + 4);
  EXPECT_EQ(atLimit.value().substr(0, 4), prefix(0x100000));

  SyncResult<std::string> over = SyncFraming::encode(messageWithBodyOf(1048577));
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error(), SyncError::of(SyncError::Kind::messageTooLarge));
}

TEST(SyncFraming, EncodeReportsAMessageTheCoderCannotWrite) {
  SyncMessage notUtf8{SyncMessage::Failure{std::nullopt, "\xff\xfe"}};
  SyncResult<std::string> frame = SyncFraming::encode(notUtf8);
  ASSERT_FALSE(frame.ok());
  EXPECT_EQ(frame.error(), SyncError::couldNotEncode());
}

TEST(SyncFraming, DecodeReturnsEveryCompleteFrameInOrderAndEmptiesTheBuffer) {
  SyncMessage request{SyncMessage::RequestSnapshot{}};
  std::string buffer = frameOf(hello()) + frameOf(request) + frameOf(hello());
  SyncResult<std::vector<SyncMessage>> messages = SyncFraming::decode(buffer);
  ASSERT_TRUE(messages.ok());
  EXPECT_EQ(messages.value(), (std::vector<SyncMessage>{hello(), request, hello()}));
  EXPECT_TRUE(buffer.empty());
}

TEST(SyncFraming, DecodeLeavesAnIncompleteFrameOrShortPrefixUntouchedAtEverySplitPoint) {
  std::string frame = frameOf(hello());
  for (std::size_t split = 0; split < frame.size(); ++split) {
    std::string buffer = frameOf(hello()) + frame.substr(0, split);
    SyncResult<std::vector<SyncMessage>> first = SyncFraming::decode(buffer);
    ASSERT_TRUE(first.ok()) << "split at " << split;
    EXPECT_EQ(first.value().size(), 1u) << "split at " << split;
    EXPECT_EQ(buffer, frame.substr(0, split)) << "split at " << split;

    buffer += frame.substr(split);
    SyncResult<std::vector<SyncMessage>> rest = SyncFraming::decode(buffer);
    ASSERT_TRUE(rest.ok()) << "split at " << split;
    EXPECT_EQ(rest.value(), std::vector<SyncMessage>{hello()}) << "split at " << split;
    EXPECT_TRUE(buffer.empty()) << "split at " << split;
  }
}

TEST(SyncFraming, DecodeAcceptsABodyOfExactlyTheLimit) {
  SyncMessage large = messageWithBodyOf(1048576);
  std::string buffer = frameOf(large);
  SyncResult<std::vector<SyncMessage>> messages = SyncFraming::decode(buffer);
  ASSERT_TRUE(messages.ok());
  EXPECT_EQ(messages.value(), std::vector<SyncMessage>{large});
}

TEST(SyncFraming, DecodeRefusesAnOversizedPrefixBeforeTheBodyArrives) {
  for (std::uint32_t length : {0x100001u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    std::string buffer = prefix(length);
    SyncResult<std::vector<SyncMessage>> messages = SyncFraming::decode(buffer);
    ASSERT_FALSE(messages.ok()) << length;
    EXPECT_EQ(messages.error(), SyncError::of(SyncError::Kind::messageTooLarge)) << length;
  }
}

TEST(SyncFraming, DecodeFailsOnBodiesThatAreNotMessages) {
  for (std::string body :
       {std::string(), std::string("{}"), std::string("not json"), std::string(R"({"goodbye":{}})"),
        std::string(R"({"hello":{"_0":{}},"requestSnapshot":{}})")}) {
    std::string buffer = prefix(static_cast<std::uint32_t>(body.size())) + body;
    SyncResult<std::vector<SyncMessage>> messages = SyncFraming::decode(buffer);
    ASSERT_FALSE(messages.ok()) << body;
    EXPECT_EQ(messages.error(), SyncError::malformedMessage()) << body;
  }
}

TEST(SyncFraming, AFailureLosesTheMessagesDecodedBeforeItAndTheirBytes) {
  std::string bad = prefix(2) + "{}";
  std::string buffer = frameOf(hello()) + bad + frameOf(hello());
  ASSERT_FALSE(SyncFraming::decode(buffer).ok());
  // The good frame and the bad body are gone; what followed them is still there.
  EXPECT_EQ(buffer, frameOf(hello()));

  std::string oversized = frameOf(hello()) + prefix(0x100001) + "abc";
  ASSERT_FALSE(SyncFraming::decode(oversized).ok());
  EXPECT_EQ(oversized, prefix(0x100001) + "abc");
}

}  // namespace
}  // namespace meterwright
