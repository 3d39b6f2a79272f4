#include <gtest/gtest.h>

#include <string>

#include "core/control/ControlCoding.h"
#include "core/control/ControlLineBuffer.h"

namespace meterwright {
namespace {

std::string withoutNewline(std::string line) {
  EXPECT_EQ(line.back(), '\n');
  line.pop_back();
  return line;
}

TEST(ControlCodingTest, RequestsRoundTripAndCarryTheVersion) {
  for (ControlRequest request : {ControlRequest{ControlRequestKind::show, ""},
                                 ControlRequest{ControlRequestKind::status, ""},
                                 ControlRequest{ControlRequestKind::devices, ""},
                                 ControlRequest{ControlRequestKind::revoke, "Ada\u2019s iPh"},
                                 ControlRequest{ControlRequestKind::pair, ""},
                                 ControlRequest{ControlRequestKind::diagnose, ""},
                                 ControlRequest{ControlRequestKind::wake, ""}}) {
    std::string line = withoutNewline(ControlCoding::encode(request));
    EXPECT_NE(line.find("\"version\":1"), std::string::npos) << line;
    ControlCoding::DecodedRequest decoded = ControlCoding::decodeRequest(line);
    ASSERT_TRUE(decoded.request) << line;
    EXPECT_EQ(*decoded.request, request);
  }
}

TEST(ControlCodingTest, RequestsThatCannotBeCarriedOutSayWhyByKind) {
  struct Case {
    std::string line;
    std::string_view kind;
  };
  const Case cases[] = {
      {"", ControlFailureKind::malformed},
      {"garbage", ControlFailureKind::malformed},
      {"[1,2]", ControlFailureKind::malformed},
      {R"({"request":"show"})", ControlFailureKind::malformed},
      {R"({"version":"1","request":"show"})", ControlFailureKind::malformed},
      {R"({"version":1.5,"request":"show"})", ControlFailureKind::malformed},
      {R"({"version":1})", ControlFailureKind::malformed},
      {R"({"version":1,"request":7})", ControlFailureKind::malformed},
      {R"({"version":1,"request":"revoke"})", ControlFailureKind::malformed},
      {R"({"version":1,"request":"revoke","device":""})", ControlFailureKind::malformed},
      {R"({"version":1,"request":"show"} trailing)", ControlFailureKind::malformed},
      {"{\"version\":1,\"request\":\"\xff\"}", ControlFailureKind::malformed},
      {R"({"version":2,"request":"show"})", ControlFailureKind::unsupportedVersion},
      {R"({"version":0,"request":"show"})", ControlFailureKind::unsupportedVersion},
      {R"({"version":1,"request":"quit"})", ControlFailureKind::unknownRequest},
      {R"({"version":1,"request":"SHOW"})", ControlFailureKind::unknownRequest},
  };
  for (const Case& each : cases) {
    ControlCoding::DecodedRequest decoded = ControlCoding::decodeRequest(each.line);
    EXPECT_FALSE(decoded.request) << each.line;
    ASSERT_TRUE(decoded.failure) << each.line;
    EXPECT_EQ(decoded.failure->kind, each.kind) << each.line;
    EXPECT_FALSE(decoded.failure->message.empty()) << each.line;
  }
  // Members a later minor addition might send are ignored.
  EXPECT_TRUE(
      ControlCoding::decodeRequest(R"({"version":1,"request":"status","from":"x"})").request);
}

TEST(ControlCodingTest, AnswersAndEventsRoundTrip) {
  ControlAnswer devices;
  devices.devices = {{"1B4E28BA-2FA1-41D2-883F-0016D3CCA427", "Ada\u2019s iPhone", "iOS",
                      1740821400.5, 1740907800},
                     {"6F9619FF-8B86-4011-B42D-00C04FC964FF", "iPad", "iPadOS", 1740821460, {}}};
  ControlAnswer pair;
  pair.invitation = ControlInvitation{"482-913",
                                      "meterwright://pair?c=1",
                                      51234,
                                      {"192.0.2.4:51234", "[2001:db8::1]:51234"},
                                      1740821700};
  ControlAnswer status;
  status.headless = true;
  status.pid = 4242;
  ControlAnswer ambiguous =
      ControlAnswer::failed(ControlFailureKind::ambiguous, "Ada matches several devices");
  ambiguous.devices = devices.devices;
  ControlAnswer diagnosis;
  diagnosis.diagnosis = ControlDiagnosis{true,
                                         true,
                                         false,
                                         "address in use",
                                         "Ada\u2019s desk",
                                         2,
                                         {{"Local network", false, {}}, {"iCloud", true, {}}},
                                         {{"iCloud", false, "no folder"}}};
  for (const ControlAnswer& answer :
       {ControlAnswer{}, devices, pair, status, ambiguous, diagnosis}) {
    std::string line = withoutNewline(ControlCoding::encode(answer));
    EXPECT_EQ(line.find('\n'), std::string::npos);
    std::optional<ControlAnswer> decoded = ControlCoding::decodeAnswer(line);
    ASSERT_TRUE(decoded) << line;
    EXPECT_EQ(*decoded, answer) << line;
  }
  EXPECT_NE(ControlCoding::encode(ambiguous).find(R"("ok":false,)"), std::string::npos);
  ControlEvent woke{ControlEventKind::woke, "", {{"claude", "codex"}, 2.25, 3.5, false, 2}};
  for (const ControlEvent& event : {ControlEvent{ControlEventKind::paired, "Watch"},
                                    ControlEvent{ControlEventKind::expired, ""}, woke}) {
    std::string line = withoutNewline(ControlCoding::encode(event));
    EXPECT_EQ(ControlCoding::decodeEvent(line), event) << line;
    EXPECT_FALSE(ControlCoding::decodeAnswer(line)) << line;
  }
}

TEST(ControlCodingTest, ForeignAnswersAndEventsAreRefused) {
  for (const char* line : {
           R"({"ok":true})",
           R"({"version":2,"ok":true})",
           R"({"version":1})",
           R"({"version":1,"ok":false})",
           R"({"version":1,"ok":false,"error":"x"})",
           R"({"version":1,"ok":true,"pid":"12"})",
           R"({"version":1,"ok":true,"pid":18446744073709551615})",
           R"({"version":1,"ok":true,"devices":[{"id":"a","name":"b","platform":"c"}]})",
           R"({"version":1,"ok":true,"devices":[7]})",
           R"({"version":1,"ok":true,"invitation":{"code":"1","link":"l","port":70000,)"
           R"("addresses":[],"expiresAt":1}})",
           R"({"version":1,"ok":true,"invitation":{"code":"1","link":"l","port":1,)"
           R"("addresses":[1],"expiresAt":1}})",
           R"({"version":1,"ok":true,"diagnosis":7})",
           R"({"version":1,"ok":true,"diagnosis":{"trayItemRegistered":true,"publishing":true,)"
           R"("listening":true,"deviceName":"d","pairedDevices":-1,"transports":[],)"
           R"("absentRoutes":[]}})",
           R"({"version":1,"ok":true,"diagnosis":{"trayItemRegistered":true,"publishing":true,)"
           R"("listening":"yes","deviceName":"d","pairedDevices":0,"transports":[],)"
           R"("absentRoutes":[]}})",
           R"({"version":1,"ok":true,"diagnosis":{"trayItemRegistered":true,"publishing":true,)"
           R"("listening":true,"deviceName":"d","pairedDevices":0,"transports":[{"name":"x"}],)"
           R"("absentRoutes":[]}})",
       })
    EXPECT_FALSE(ControlCoding::decodeAnswer(line)) << line;
  for (
      const char* line :
      {R"({"version":1,"event":"paired"})", R"({"version":1,"event":"gone"})",
       R"({"event":"expired"})",
       R"({"version":1,"event":"woke","providers":[],"readSeconds":1,"totalSeconds":1,"idle":true})",
       R"({"version":1,"event":"woke","providers":[7],"readSeconds":1,"totalSeconds":1,)"
       R"("idle":true,"pairedDevices":0})",
       R"({"version":1,"event":"woke","providers":[],"readSeconds":-1,"totalSeconds":1,)"
       R"("idle":true,"pairedDevices":0})"})
    EXPECT_FALSE(ControlCoding::decodeEvent(line)) << line;
}

TEST(ControlLineBufferTest, CutsLinesAcrossReadsAndRefusesOnlyAnOverlongLine) {
  ControlLineBuffer buffer(8);
  EXPECT_TRUE(buffer.append("abc"));
  EXPECT_FALSE(buffer.nextLine());
  EXPECT_TRUE(buffer.append("de\nfg"));
  EXPECT_EQ(buffer.nextLine(), "abcde");
  EXPECT_FALSE(buffer.nextLine());
  EXPECT_TRUE(buffer.append("h\n12345678\n"));
  EXPECT_EQ(buffer.nextLine(), "fgh");
  EXPECT_EQ(buffer.nextLine(), "12345678");

  ControlLineBuffer overlong(8);
  EXPECT_TRUE(overlong.append("12345678"));
  EXPECT_FALSE(overlong.append("9"));
  EXPECT_FALSE(overlong.nextLine());
}

}  // namespace
}  // namespace meterwright
