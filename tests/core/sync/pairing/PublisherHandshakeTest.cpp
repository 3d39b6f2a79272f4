#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "core/sync/pairing/PairingProof.h"
#include "core/sync/pairing/PublisherHandshake.h"

namespace meterwright {
namespace {

using PublisherHandshake::Answer;

SyncMessage pairRequest(const PairingIdentity& device, const PairingCode& code, int version = 2) {
  return {SyncMessage::PairRequest{
      version, device.deviceID(), device.deviceName(), "linux", device.publicKeyData(),
      PairingProof::request(code, device.deviceID(), device.publicKeyData())}};
}

SyncMessage hello(const PairingIdentity& device, int version = 2) {
  return {SyncMessage::Hello{version, device.deviceID(), device.deviceName(), "linux"}};
}

PairingIdentity tablet() {
  return PairingIdentity(Uuid::random(), "Tablet");
}

// A refusal's reason, or the case of any other reply, so mismatches read well.
std::string summary(const Answer& answer) {
  if (!answer.reply) return "nothing";
  if (const auto* failure = answer.reply->as<SyncMessage::Failure>()) {
    EXPECT_EQ(*failure, SyncMessage::Failure::standard(*failure->reason));
    return std::string(SyncMessage::Failure::toString(*failure->reason));
  }
  return std::string(answer.reply->caseName());
}

// The Mac's state between messages, changed by each answer as the publisher applies it.
// Public, so the refusal table's rows can arrange it.
class PublisherHandshakeTest : public ::testing::Test {
 public:
  Answer ask(const SyncMessage& message) {
    Answer answer = PublisherHandshake::answer(message, shown, now, mac, known, storedKey);
    if (answer.usesUp && shown == answer.usesUp) shown.reset();
    if (answer.registers) known.insert_or_assign(answer.registers->device.id, *answer.registers);
    return answer;
  }

  PairingCode invite(double lifetime = 60) {
    invitation = mac.invitation(lifetime, now);
    shown = invitation;
    return invitation.code;
  }

  PairingIdentity mac{Uuid::random(), "Studio Mac"};
  Date now = dateFromUnixSeconds(1'700'000'000);
  PairingInvitation invitation;  // the last one made
  std::optional<PairingInvitation> shown;
  std::map<Uuid, PairingRecord> known;
  std::map<Uuid, SymmetricKey> stored;
  int storeLookups = 0;
  PublisherHandshake::KeyLookup storedKey = [this](const Uuid& id) -> std::optional<SymmetricKey> {
    ++storeLookups;
    auto found = stored.find(id);
    if (found == stored.end()) return std::nullopt;
    return found->second;
  };
};

TEST_F(PublisherHandshakeTest, TheShownCodePairsUpToItsLastTickWithTheAgreedKeyAndIsUsedUp) {
  PairingIdentity phone(Uuid::random(), "Anna’s Phone");
  PairingCode code = invite();
  now = invitation.expiresAt - Date::duration(1);
  Answer answer = ask(pairRequest(phone, code));

  const std::string macKey = mac.publicKeyData();
  const SyncMessage accepted{
      SyncMessage::PairAccepted{2, mac.deviceID(), "Studio Mac", macKey,
                                PairingProof::acceptance(code, macKey, phone.publicKeyData())}};
  const PairingRecord record{PairedDevice{phone.deviceID(), "Anna’s Phone", "linux", now, now},
                             *phone.sharedKey(macKey, code)};
  EXPECT_EQ(answer, (Answer{accepted, record, true, invitation, false}));
  EXPECT_EQ(shown, std::nullopt);
}

struct Refusal {
  std::string name;
  // Brings the Mac into the row's state; returns what the device then sends.
  std::function<SyncMessage(PublisherHandshakeTest&)> arrange;
  std::string reason;
  // What another device then gets for a request with the last code made; empty: not asked.
  std::string codeAfterwards{};

  friend void PrintTo(const Refusal& row, std::ostream* out) { *out << row.name; }
};

PairingCode misread(PairingCode code) {
  code.value[0] = code.value[0] == '0' ? '1' : '0';
  return code;
}

const Refusal refusals[] = {
    {"NoInvitation",
     [](PublisherHandshakeTest&) { return pairRequest(tablet(), PairingCode::fresh()); },
     "codeNoLongerValid"},
    {"CodeAlreadyUsed",
     [](PublisherHandshakeTest& test) {
       PairingCode code = test.invite();
       EXPECT_EQ(summary(test.ask(pairRequest(tablet(), code))), "pairAccepted");
       return pairRequest(tablet(), code);
     },
     "codeNoLongerValid"},
    {"AtTheExpiryInstant",
     [](PublisherHandshakeTest& test) {
       PairingCode code = test.invite();
       test.now = test.invitation.expiresAt;
       return pairRequest(tablet(), code);
     },
     "codeNoLongerValid"},
    {"NewerRequestWithoutAValidCode",
     [](PublisherHandshakeTest& test) {
       PairingCode code = test.invite();
       test.now = test.invitation.expiresAt;
       return pairRequest(tablet(), code, 3);
     },
     "codeNoLongerValid"},
    {"NewerRequest",
     [](PublisherHandshakeTest& test) { return pairRequest(tablet(), test.invite(), 3); },
     "needsNewerApp", "pairAccepted"},
    {"NewerRequestWithAWrongProof",
     [](PublisherHandshakeTest& test) { return pairRequest(tablet(), misread(test.invite()), 3); },
     "needsNewerApp", "pairAccepted"},
    {"WrongProof",
     [](PublisherHandshakeTest& test) { return pairRequest(tablet(), misread(test.invite())); },
     "codeWrong", "codeNoLongerValid"},
    {"LowOrderPublicKey",
     [](PublisherHandshakeTest& test) {
       PairingCode code = test.invite();
       const std::string zeroKey(32, '\0');
       const Uuid id = Uuid::random();
       return SyncMessage{SyncMessage::PairRequest{2, id, "Tablet", "linux", zeroKey,
                                                   PairingProof::request(code, id, zeroKey)}};
     },
     "keyAgreementFailed", "pairAccepted"},
    {"NewerHelloOfAKnownDevice",
     [](PublisherHandshakeTest& test) {
       PairingIdentity device = tablet();
       test.stored[device.deviceID()] = SymmetricKey::random();
       return hello(device, 3);
     },
     "needsNewerApp"},
    {"HelloOfAnUnknownDevice", [](PublisherHandshakeTest&) { return hello(tablet()); },
     "deviceNotRecognised"},
    {"HelloWithoutAStore",
     [](PublisherHandshakeTest& test) {
       test.storedKey = nullptr;
       return hello(tablet());
     },
     "deviceNotRecognised"},
};

class PublisherHandshakeRefusalTest : public PublisherHandshakeTest,
                                      public ::testing::WithParamInterface<Refusal> {};

TEST_P(PublisherHandshakeRefusalTest, RefusesWithTheReasonClosesAndRegistersNothing) {
  const Refusal& row = GetParam();
  const SyncMessage request = row.arrange(*this);
  const std::map<Uuid, PairingRecord> before = known;
  Answer answer = ask(request);
  EXPECT_EQ(summary(answer), row.reason);
  EXPECT_TRUE(answer.closes);
  EXPECT_EQ(answer.registers, std::nullopt);
  EXPECT_EQ(known, before);
  if (!row.codeAfterwards.empty()) {
    EXPECT_EQ(summary(ask(pairRequest(tablet(), invitation.code))), row.codeAfterwards);
  }
}

INSTANTIATE_TEST_SUITE_P(PublisherHandshake, PublisherHandshakeRefusalTest,
                         ::testing::ValuesIn(refusals),
                         [](const auto& info) { return info.param.name; });

TEST_F(PublisherHandshakeTest, ADeviceKnownOnlyToTheStoreIsWelcomedWithTheStoredKey) {
  PairingIdentity watch(Uuid::random(), "Watch");
  const SymmetricKey key = SymmetricKey::random();
  stored[watch.deviceID()] = key;
  invite();

  const SyncMessage welcome{SyncMessage::Welcome{2, mac.deviceID(), "Studio Mac"}};
  const PairingRecord record{PairedDevice{watch.deviceID(), "Watch", "linux", now, now}, key};
  EXPECT_EQ(ask(hello(watch)), (Answer{welcome, record, false, std::nullopt, false}));
  EXPECT_EQ(shown, invitation);
}

TEST_F(PublisherHandshakeTest, AHelloOfADeviceOfThisRunKeepsItsKeyAndWhenItPaired) {
  PairingIdentity phone(Uuid::random(), "Phone");
  const Date pairedAt = now;
  const SymmetricKey key = ask(pairRequest(phone, invite())).registers.value().key;
  stored[phone.deviceID()] = SymmetricKey::random();
  now = addingSeconds(now, 100);

  PairingIdentity renamed(phone.deviceID(), "Renamed Phone");
  const std::optional<PairingRecord> record = ask(hello(renamed)).registers;
  EXPECT_EQ(record,
            (PairingRecord{PairedDevice{phone.deviceID(), "Renamed Phone", "linux", pairedAt, now},
                           key}));
  EXPECT_EQ(storeLookups, 0);
}

}  // namespace
}  // namespace meterwright
