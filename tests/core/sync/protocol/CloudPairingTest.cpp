#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "core/crypto/HexBytes.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {
namespace {

const Date askedAt = Date{std::chrono::milliseconds(1'740'821'400'250)};
const Uuid watchID = *Uuid::parse("0f8e5a1c-3b2d-4c6e-9a7b-1d2e3f405162");
const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const CloudPairingRequest request{2,      watchID, "Ada's Watch", "watchOS", testing::alicePublic,
                                  askedAt};
const CloudPairingGrant grant{2,
                              macID,
                              "Studio Mac",
                              testing::bobPublic,
                              "AAECAwQFBgcICQoLDA0ODw==",
                              dateFromUnixSeconds(1'740'821'430)};

const char* requestJson =
    R"({"version":2,"deviceID":"0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162","deviceName":"Ada's Watch",)"
    R"("platform":"watchOS","publicKey":"hSDwCYkwp1R0i33ctD73Wg2/Og0mOBr066SpjqqbTmo=",)"
    R"("askedAt":1740821400.25})";
const char* grantJson =
    R"({"version":2,"macID":"6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","macName":"Studio Mac",)"
    R"("publicKey":"3p7bfXt9wbTTW2HC7OQ1Nz+DQ8hbeGdNrfx+FG+IK08=",)"
    R"("token":"AAECAwQFBgcICQoLDA0ODw==","grantedAt":1740821430})";

TEST(CloudPairingTest, RequestAndGrantEncodeWithTheSyncCodersConventionsInFieldOrder) {
  EXPECT_EQ(SyncCoding::encode(request), requestJson);
  EXPECT_EQ(SyncCoding::decodeCloudPairingRequest(requestJson), request);
  EXPECT_EQ(SyncCoding::encode(grant), grantJson);
  EXPECT_EQ(SyncCoding::decodeCloudPairingGrant(grantJson), grant);
  CloudPairingRequest notUtf8 = request;
  notUtf8.deviceName = "\xff\xfe";
  EXPECT_EQ(SyncCoding::encode(notUtf8), std::nullopt);
  // Unknown members are ignored and a newer version still decodes.
  auto json = nlohmann::json::parse(requestJson);
  json["extra"] = {{"nested", true}};
  json["version"] = 3;
  CloudPairingRequest newer = request;
  newer.version = 3;
  EXPECT_EQ(SyncCoding::cloudPairingRequestFromJson(json), newer);
  // Printing a grant withholds its token.
  std::string printed = ::testing::PrintToString(grant);
  EXPECT_EQ(printed.find("AAECAwQFBgcICQoLDA0ODw=="), std::string::npos);
  EXPECT_NE(printed.find("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"), std::string::npos);
}

TEST(CloudPairingTest, EveryMemberIsRequiredAndMustHaveItsType) {
  for (const char* member :
       {"version", "deviceID", "deviceName", "platform", "publicKey", "askedAt"}) {
    auto json = nlohmann::json::parse(requestJson);
    json[member] = nullptr;
    EXPECT_EQ(SyncCoding::cloudPairingRequestFromJson(json), std::nullopt) << "null " << member;
    json.erase(member);
    EXPECT_EQ(SyncCoding::cloudPairingRequestFromJson(json), std::nullopt) << "without " << member;
  }
  for (const char* patch :
       {R"({"version":2.5})", R"({"deviceID":"watch"})", R"({"publicKey":"not base64"})",
        R"({"askedAt":"2025-03-01"})", R"({"deviceName":7})"}) {
    auto json = nlohmann::json::parse(requestJson);
    json.merge_patch(nlohmann::json::parse(patch));
    EXPECT_EQ(SyncCoding::cloudPairingRequestFromJson(json), std::nullopt) << patch;
  }
  for (const char* member : {"version", "macID", "macName", "publicKey", "token", "grantedAt"}) {
    auto json = nlohmann::json::parse(grantJson);
    json.erase(member);
    EXPECT_FALSE(SyncCoding::cloudPairingGrantFromJson(json)) << "without " << member;
  }
  EXPECT_EQ(SyncCoding::decodeCloudPairingRequest("{"), std::nullopt);
}

}  // namespace
}  // namespace meterwright
