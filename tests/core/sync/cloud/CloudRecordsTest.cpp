#include <gtest/gtest.h>

#include <string>

#include "core/crypto/HexBytes.h"
#include "core/sync/cloud/CloudRecords.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {
namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);
const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");

CloudPairingRequest request(double askedSecondsAgo, int version = 2) {
  return {version,
          deviceID,
          "Ada's Watch",
          "watchOS",
          testing::alicePublic,
          addingSeconds(now, -askedSecondsAgo)};
}

TEST(CloudRecordsTest, NamesFollowUuidsAndAnEnvelopeRecordCarriesTheEnvelopeAndItsSender) {
  SyncEnvelope envelope{2, macID, "sealed bytes"};
  auto record = CloudRecords::envelopeRecord(macID, *SyncCoding::encode(envelope), now);
  EXPECT_EQ(record.recordType, "Envelope");
  EXPECT_EQ(*record.text("sender"), macID.text());
  EXPECT_EQ(record.date("sentAt"), now);
  EXPECT_EQ(CloudRecords::envelopeFrom(record), envelope);

  record.recordType = "Pairing";
  EXPECT_EQ(CloudRecords::envelopeFrom(record), std::nullopt);
  EXPECT_EQ(CloudRecords::envelopeFrom(CloudRecords::selfTestRecord(macID, now)), std::nullopt);
  EXPECT_EQ(CloudRecords::mailboxName(deviceID), "0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
  EXPECT_EQ(CloudRecords::grantName(deviceID),
            "pairing-grant-0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
  EXPECT_EQ(CloudRecords::selfTestName(macID), "selftest-6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
}

TEST(CloudRecordsTest, PendingRequestIsFreshAndOfAKnownVersion) {
  const struct {
    CloudPairingRequest request;
    bool pending;
  } cases[] = {
      {request(899), true},   {request(900), true}, {request(901), false}, {request(0, 1), true},
      {request(0, 3), false}, {request(-60), true},  // a clock slightly ahead
  };
  for (const auto& item : cases) {
    auto record = CloudRecords::requestRecord(item.request);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->date("sentAt"), item.request.askedAt);
    EXPECT_EQ(CloudRecords::pendingRequestFrom(*record, now).has_value(), item.pending)
        << secondsBetween(item.request.askedAt, now) << " s, version " << item.request.version;
  }
}

TEST(CloudRecordsTest, PairingRecordsThatDoNotDecodeCompletelyAreRefused) {
  auto shortKey = request(0);
  shortKey.publicKey = testing::alicePublic.substr(1);
  EXPECT_EQ(CloudRecords::requestFrom(*CloudRecords::requestRecord(shortKey)), std::nullopt);

  auto wrongType = *CloudRecords::requestRecord(request(0));
  wrongType.recordType = "Envelope";
  EXPECT_EQ(CloudRecords::requestFrom(wrongType), std::nullopt);

  auto missingMember = *CloudRecords::requestRecord(request(0));
  missingMember.fields["sealed"] = CloudRecord::Bytes{
      R"({"version":2,"deviceID":"0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162","deviceName":"x"})"};
  EXPECT_EQ(CloudRecords::requestFrom(missingMember), std::nullopt);

  auto asText = *CloudRecords::requestRecord(request(0));
  asText.fields["sealed"] = *SyncCoding::encode(request(0));
  EXPECT_EQ(CloudRecords::requestFrom(asText), std::nullopt);
}

TEST(CloudRecordsTest, GrantIsAcceptedUpToOurVersion) {
  CloudPairingGrant grant{2, macID, "Studio", testing::bobPublic, "AAECAwQFBgcICQoLDA0ODw==", now};
  EXPECT_EQ(CloudRecords::acceptedGrantFrom(*CloudRecords::grantRecord(grant)), grant);
  grant.version = 3;
  EXPECT_EQ(CloudRecords::acceptedGrantFrom(*CloudRecords::grantRecord(grant)), std::nullopt);
  grant.version = 2;
  grant.publicKey = "short";
  EXPECT_EQ(CloudRecords::acceptedGrantFrom(*CloudRecords::grantRecord(grant)), std::nullopt);
}

}  // namespace
}  // namespace meterwright
