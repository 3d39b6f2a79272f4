#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/pairing/PairingProof.h"
#include "core/sync/pairing/SubscriberHandshake.h"

namespace meterwright {
namespace {

using SubscriberHandshake::Outcome;

const PairingCode code{"7K3QH9XWPM"};
const PairingCode otherCode{"ABCDEFGHJK"};

SyncPayload payload() {
  SyncPayload value;
  value.sentAt = dateFromUnixSeconds(1'740'821'400.5);
  value.sourceName = "Studio Mac";
  value.snapshot.generatedAt = dateFromUnixSeconds(1'740'821'400);
  return value;
}

class SubscriberHandshakeTest : public ::testing::Test {
 protected:
  SyncMessage acceptance(const PairingCode& provenWith, const std::string& macKey) const {
    return {SyncMessage::PairAccepted{
        2, mac.deviceID(), "Studio Mac", macKey,
        PairingProof::acceptance(provenWith, macKey, device.publicKeyData())}};
  }

  SyncMessage sealed(const SymmetricKey& key, int version = 2) const {
    SyncEnvelope envelope = EnvelopeSealing::seal(payload(), mac.deviceID(), key).value();
    envelope.version = version;
    return {envelope};
  }

  const PairingIdentity device{Uuid::random(), "Anna’s iPhone"};
  const PairingIdentity mac{Uuid::random(), "Studio Mac"};
};

TEST_F(SubscriberHandshakeTest, OpensWithAProofOfTheCodeOrAHelloAndASnapshotRequest) {
  const std::string publicKey = device.publicKeyData();
  const SyncMessage request{
      SyncMessage::PairRequest{2, device.deviceID(), "Anna’s iPhone", "ios", publicKey,
                               PairingProof::request(code, device.deviceID(), publicKey)}};
  EXPECT_EQ(SubscriberHandshake::opening(device, "ios", code), std::vector{request});
  EXPECT_EQ(
      SubscriberHandshake::opening(device, "ios", std::nullopt),
      (std::vector<SyncMessage>{{SyncMessage::Hello{2, device.deviceID(), "Anna’s iPhone", "ios"}},
                                {SyncMessage::RequestSnapshot{}}}));
}

TEST_F(SubscriberHandshakeTest, EachMessageFromTheMacMeansOneThing) {
  const SymmetricKey key = SymmetricKey::random();
  const SyncMessage::Failure refusal =
      SyncMessage::Failure::standard(SyncMessage::Failure::Reason::deviceNotRecognised);
  // An all-zero key is a low-order point: the proof checks out, the shared secret would be zero.
  const std::string zeroKey(32, '\0');
  auto error = [](SyncError::Kind kind) { return Outcome{{}, {}, SyncError::of(kind), false}; };
  struct Row {
    const char* name;
    SyncMessage message;
    std::optional<PairingCode> code;
    std::optional<SymmetricKey> key;
    Outcome expected;
  };
  const std::vector<Row> rows = {
      {"acceptance proving the code",
       acceptance(code, mac.publicKeyData()),
       code,
       {},
       Outcome{mac.sharedKey(device.publicKeyData(), code), {}, {}, false}},
      {"acceptance proving another code",
       acceptance(otherCode, mac.publicKeyData()),
       code,
       {},
       Outcome{{}, {}, SyncError::of(SyncError::Kind::macDidNotProveTheCode), true}},
      {"acceptance without a code",
       acceptance(code, mac.publicKeyData()),
       {},
       key,
       error(SyncError::Kind::notPaired)},
      {"acceptance with an unusable key",
       acceptance(code, zeroKey),
       code,
       {},
       error(SyncError::Kind::decryptionFailed)},
      {"snapshot under the key", sealed(key), {}, key, Outcome{{}, payload(), {}, false}},
      {"snapshot before a key", sealed(key), code, {}, error(SyncError::Kind::notPaired)},
      {"snapshot under another key",
       sealed(SymmetricKey::random()),
       {},
       key,
       error(SyncError::Kind::decryptionFailed)},
      {"newer snapshot",
       sealed(key, 3),
       {},
       key,
       Outcome{{}, {}, SyncError::unsupportedVersion(3), false}},
      {"refusal", {refusal}, {}, key, Outcome{{}, {}, SyncError::refused(refusal), false}},
      {"welcome", {SyncMessage::Welcome{2, mac.deviceID(), "Studio Mac"}}, {}, key, Outcome{}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SubscriberHandshake::receive(row.message, device, row.code, row.key), row.expected);
  }
}

}  // namespace
}  // namespace meterwright
