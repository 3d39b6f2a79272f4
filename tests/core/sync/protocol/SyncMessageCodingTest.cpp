#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncError.h"

namespace meterwright {
namespace {

using Failure = SyncMessage::Failure;
using Reason = Failure::Reason;

const Uuid mac = *Uuid::parse("6f9619ff-8b86-d011-b42d-00c04fc964ff");
const Uuid phone = *Uuid::parse("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9");
const std::string publicKey = "0123456789abcdef0123456789abcdef";
const std::string publicKeyText = "MDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNkZWY=";
std::string countingBytes(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}
const std::string proofText = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";

struct WireCase {
  const char* name;
  SyncMessage message;
  std::string text;
};

std::vector<WireCase> wireCases() {
  std::string sealed = countingBytes(12) + "ciphertext" + std::string(16, '\xee');
  return {
      {"pairRequest",
       {SyncMessage::PairRequest{2, phone, "Ada's iPhone", "iOS", publicKey, countingBytes(32)}},
       R"({"pairRequest":{"_0":{"version":2,"deviceID":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9",)"
       R"("deviceName":"Ada's iPhone","platform":"iOS","publicKey":")" +
           publicKeyText + R"(","proof":")" + proofText + R"("}}})"},
      {"hello",
       {SyncMessage::Hello{2, phone, "Ada's Watch", "watchOS"}},
       R"({"hello":{"_0":{"version":2,"deviceID":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9",)"
       R"("deviceName":"Ada's Watch","platform":"watchOS"}}})"},
      {"pairAccepted",
       {SyncMessage::PairAccepted{2, mac, "Studio \"M2\"", publicKey, countingBytes(32)}},
       R"({"pairAccepted":{"_0":{"version":2,"deviceID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
       R"("deviceName":"Studio \"M2\"","publicKey":")" +
           publicKeyText + R"(","confirmation":")" + proofText + R"("}}})"},
      {"welcomeBack",
       {SyncMessage::Welcome{2, mac, "Büro"}},
       R"({"welcomeBack":{"_0":{"version":2,"deviceID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
       R"("deviceName":"Büro"}}})"},
      {"requestSnapshot", {SyncMessage::RequestSnapshot{}}, R"({"requestSnapshot":{}})"},
      {"snapshot",
       {SyncEnvelope{2, mac, sealed}},
       R"({"snapshot":{"_0":{"version":2,"senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
       R"("sealed":"AAECAwQFBgcICQoLY2lwaGVydGV4dO7u7u7u7u7u7u7u7u7u7u4="}}})"},
      {"failure",
       {Failure::standard(Reason::codeWrong)},
       R"({"failure":{"_0":{"reason":"codeWrong",)"
       R"("detail":"That code is not right. Make a new one on the computer."}}})"},
      {"failure",
       {Failure{std::nullopt, "Something else went wrong."}},
       R"({"failure":{"_0":{"detail":"Something else went wrong."}}})"},
  };
}

TEST(SyncMessageCoding, EveryCaseHasItsExactWireFormAndDecodesBack) {
  for (const WireCase& each : wireCases()) {
    EXPECT_EQ(each.message.caseName(), std::string_view(each.name));
    EXPECT_EQ(SyncCoding::encode(each.message), each.text) << each.name;
    EXPECT_EQ(SyncCoding::decodeMessage(each.text), each.message) << each.name;
  }
  EXPECT_EQ(SyncCoding::encode(SyncMessage{SyncMessage::Hello{2, phone, "Ada\xff", "iOS"}}),
            std::nullopt);
}

TEST(SyncMessageCoding, DecodingAcceptsWhatAStandardPeerMayWrite) {
  auto hello = SyncCoding::decodeMessage(
      R"( { "hello" : { "extra": 1, "_0" : { "platform":"iPadOS", "deviceName":"Tab",)"
      R"( "deviceID":"0a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9", "version":2.0, "colour":"red" } } } )");
  EXPECT_EQ(hello, (SyncMessage{SyncMessage::Hello{2, phone, "Tab", "iPadOS"}}));

  EXPECT_EQ(SyncCoding::decodeMessage(R"({"failure":{"_0":{"reason":null,"detail":"x"}}})"),
            (SyncMessage{Failure{std::nullopt, "x"}}));
  EXPECT_EQ(SyncCoding::decodeMessage(R"({"requestSnapshot":{"_0":{}}})"),
            (SyncMessage{SyncMessage::RequestSnapshot{}}));
  EXPECT_EQ(SyncCoding::decodeMessage(
                R"({"welcomeBack":{"_0":{"version":3,"deviceID":"6F9619FF-8B86-D011-B42D-)"
                R"(00C04FC964FF","deviceName":"M"}}})"),
            (SyncMessage{SyncMessage::Welcome{3, mac, "M"}}));
}

TEST(SyncMessageCoding, AnyFaultFailsTheWholeMessage) {
  const std::string hello =
      R"("hello":{"_0":{"version":2,"deviceID":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9",)"
      R"("deviceName":"Ada","platform":"iOS"}})";
  ASSERT_TRUE(SyncCoding::decodeMessage("{" + hello + "}"));

  const std::string faults[] = {
      "{" + hello + R"(,"requestSnapshot":{}})",
      "{" + hello + R"(,"note":1})",
      "{}",
      R"({"goodbye":{"_0":{}}})",
      R"([{"requestSnapshot":{}}])",
      R"({"requestSnapshot":null})",
      R"({"hello":{"_0":null}})",
      R"({"failure":{"_0":{"reason":"codeStolen","detail":"x"}}})",
      R"({"failure":{"_0":{"reason":"codeWrong"}}})",
      R"({"welcomeBack":{"_0":{"version":2,"deviceName":"M"}}})",
      R"({"hello":{"_0":{"version":"2","deviceID":"0A1B2C3D-4E5F-4061-8293-)"
      R"(A4B5C6D7E8F9","deviceName":"Ada","platform":"iOS"}}})",
      R"({"snapshot":{"_0":{"version":2,"senderID":"6F9619FF-8B86-D011-B42D-)"
      R"(00C04FC964FF","sealed":"AA-_"}}})",
      R"({"requestSnapshot":{})",
      ""};
  for (const std::string& text : faults) {
    EXPECT_EQ(SyncCoding::decodeMessage(text), std::nullopt) << text;
  }
}

TEST(SyncMessageCoding, DeeplyNestedOrHugeInputIsRefusedWithoutCrashing) {
  std::string deep =
      R"({"hello":{"_0":)" + std::string(100000, '[') + std::string(100000, ']') + "}}";
  EXPECT_EQ(SyncCoding::decodeMessage(deep), std::nullopt);

  std::string longName(4 << 20, 'a');
  auto big = SyncCoding::decodeMessage(
      R"({"welcomeBack":{"_0":{"version":2,"deviceID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
      R"("deviceName":")" +
      longName + R"("}}})");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->as<SyncMessage::Welcome>()->deviceName.size(), longName.size());
}

// The words travel; the details are texts for people, so only that each reason has its own.
TEST(SyncMessageCoding, FailureReasonsHaveTheirWordsAndADetailOfTheirOwn) {
  std::set<std::string> details;
  for (const char* word : {"codeNoLongerValid", "codeWrong", "needsNewerApp", "deviceNotRecognised",
                           "keyAgreementFailed"}) {
    std::optional<Reason> reason = Failure::reasonFromString(word);
    ASSERT_TRUE(reason) << word;
    EXPECT_EQ(Failure::toString(*reason), word);
    EXPECT_EQ(Failure::standard(*reason).reason, reason);
    EXPECT_TRUE(details.insert(Failure::standard(*reason).detail).second) << word;
  }
  EXPECT_EQ(Failure::reasonFromString("codewrong"), std::nullopt);
  EXPECT_EQ(Failure::reasonFromString(""), std::nullopt);
}

TEST(SyncEnvelopeCoding, WritesItsThreeKeysInOrderAndRequiresThemAll) {
  SyncEnvelope envelope{2, mac, std::string("\xfb\xff\xbf", 3)};
  const std::string text =
      R"({"version":2,"senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","sealed":"+/+/"})";
  EXPECT_EQ(SyncCoding::encode(envelope), text);
  EXPECT_EQ(SyncCoding::decodeEnvelope(text), envelope);

  EXPECT_EQ(SyncCoding::decodeEnvelope(
                R"({"sealed":"+/+/","senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF",)"
                R"("version":7,"nonce":"ignored"})"),
            (SyncEnvelope{7, mac, std::string("\xfb\xff\xbf", 3)}));
  for (const char* text : {
           R"({"senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","sealed":"+/+/"})",
           R"({"version":2,"sealed":"+/+/"})",
           R"({"version":2,"senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","sealed":null})",
           R"({"version":2,"senderID":"not-a-uuid","sealed":"+/+/"})",
           R"({"version":2,"senderID":"6F9619FF-8B86-D011-B42D-00C04FC964FF","sealed":"-_-_"})",
       }) {
    EXPECT_EQ(SyncCoding::decodeEnvelope(text), std::nullopt) << text;
  }
}

// A manager keeps only the description of its last error, so it must still tell them apart and
// pass on what the peer or the system said.
TEST(SyncErrorDescription, EachKindReadsDifferentlyAndCarriedTextsArePassedOn) {
  using Kind = SyncError::Kind;
  std::set<std::string> seen;
  for (Kind kind : {Kind::messageTooLarge, Kind::tokenMismatch, Kind::macDidNotProveTheCode,
                    Kind::malformedInvitation, Kind::invitationExpired, Kind::notPaired,
                    Kind::decryptionFailed}) {
    EXPECT_TRUE(seen.insert(SyncError::of(kind).description()).second) << static_cast<int>(kind);
  }
  EXPECT_EQ(SyncError::transportFailed("Connection reset by peer").description(),
            "Connection reset by peer");
  EXPECT_FALSE(seen.count(SyncError::transportFailed("").description()));
  EXPECT_NE(SyncError::refused(Failure::standard(Reason::codeWrong))
                .description()
                .find("That code is not right."),
            std::string::npos);
  EXPECT_NE(SyncError::unsupportedVersion(3).description().find('3'), std::string::npos);
}

}  // namespace
}  // namespace meterwright
