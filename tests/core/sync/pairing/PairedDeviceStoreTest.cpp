#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/crypto/HexBytes.h"
#include "core/sync/pairing/PairedDeviceCoding.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "support/ManualClock.h"
#include "support/MemorySecretStore.h"

namespace meterwright {
namespace {

using Calls = std::vector<std::string>;
const std::string service = "dev.velmora.meterwright.pairings";
const std::string account = "paired-devices";
// 2025-03-01T09:30:00Z, which is 762514200 s after 2001-01-01.
const Date start = dateFromUnixSeconds(1'740'821'400);
const Uuid phoneID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const Uuid watchID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const Uuid tabletID = *Uuid::parse("11111111-2222-4333-8444-555555555555");
const std::string keyText = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";

Date later(double seconds) {
  return start + std::chrono::round<std::chrono::microseconds>(Seconds(seconds));
}

PairingRecord record(Uuid id, std::string name, double pairedAfterStart, char keyFill = 'k') {
  return PairingRecord{PairedDevice{id, std::move(name), "iOS", later(pairedAfterStart), {}},
                       *SymmetricKey::fromBytes(std::string(32, keyFill))};
}

std::vector<Uuid> idsOf(const std::vector<PairingRecord>& records) {
  std::vector<Uuid> ids;
  for (const auto& each : records) ids.push_back(each.device.id);
  return ids;
}

TEST(PairedDeviceCodingTest, WritesAnArrayWithDatesSince2001KeysInBase64AndUpperCaseIds) {
  PairingRecord phone{PairedDevice{phoneID, "Ada's iPhone", "iOS", later(0.5), later(3600)},
                      *SymmetricKey::fromBytes(testing::fromHex(
                          "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"))};
  EXPECT_EQ(PairedDeviceCoding::encode({phone}),
            R"([{"device":{"id":"0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162","name":"Ada's iPhone",)"
            R"("platform":"iOS","pairedAt":762514200.5,"lastSeenAt":762517800},"key":")" +
                keyText + R"("}])");
  EXPECT_EQ(PairedDeviceCoding::encode({}), "[]");

  std::vector<PairingRecord> records = {record(phoneID, "Phone", 0.125),
                                        record(watchID, "Watch ⌚", -86400.75, 'w')};
  records[0].device.lastSeenAt = later(12.000001);
  auto text = PairedDeviceCoding::encode(records);
  ASSERT_TRUE(text);
  EXPECT_EQ(PairedDeviceCoding::decodeRecords(*text), records);
  auto loose = nlohmann::json::parse(*text);
  loose[0]["device"]["id"] = "0f8e5a1c-3b2d-4c6e-9a7b-1d2e3f405162";
  loose[0]["device"]["lastSeenAt"] = nullptr;
  loose[0]["extra"] = 1;
  records[0].device.lastSeenAt.reset();
  EXPECT_EQ(PairedDeviceCoding::decodeRecords(loose.dump()), records);
}

TEST(PairedDeviceCodingTest, AnyBadRecordRefusesTheWholeDocument) {
  const std::string good =
      R"({"device":{"id":"0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162","name":"A","platform":"iOS",)"
      R"("pairedAt":1},"key":")" +
      keyText + R"("})";
  ASSERT_TRUE(PairedDeviceCoding::decodeRecords("[" + good + "]"));
  for (const char* patch :
       {R"({"key":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg=="})",  // 31 bytes
        R"({"key":"not base64"})", R"({"key":null})", R"({"device":null})",
        R"({"device":{"id":"phone"}})", R"({"device":{"name":7}})",
        R"({"device":{"platform":null}})", R"({"device":{"pairedAt":"2025-03-01T09:30:00Z"}})",
        R"({"device":{"lastSeenAt":"yesterday"}})"}) {
    auto broken = nlohmann::json::parse(good);
    broken.merge_patch(nlohmann::json::parse(patch));
    EXPECT_FALSE(PairedDeviceCoding::decodeRecords("[" + good + "," + broken.dump() + "]"))
        << patch;
  }
  for (const char* text : {"", "{}", "null", "[1]", "[[]]", "not json", "["}) {
    EXPECT_FALSE(PairedDeviceCoding::decodeRecords(text)) << text;
  }
}

class RecordingSecretStore final : public SecretStore {
 public:
  explicit RecordingSecretStore(std::shared_ptr<SecretStore> backing)
      : files_(std::move(backing)) {}

  SecretReadResult read(const std::string& service, const std::string& account,
                        bool allowInteraction) override {
    calls.push_back("read");
    EXPECT_FALSE(allowInteraction);
    return files_->read(service, account, allowInteraction);
  }
  int add(const SecretItem& item) override {
    calls.push_back("add");
    return failWrites ? SecretStatus::ioError : files_->add(item);
  }
  int update(const std::string& service, const std::string& account, const std::string& data,
             const std::string& label) override {
    calls.push_back("update");
    return failWrites ? SecretStatus::ioError : files_->update(service, account, data, label);
  }
  int remove(const std::string& service, const std::string& account) override {
    calls.push_back("remove");
    return files_->remove(service, account);
  }

  // Writes of new data fail as a full disk would; removals still go through.
  std::atomic<bool> failWrites = false;
  Calls calls;

 private:
  std::shared_ptr<SecretStore> files_;
};

class PairedDeviceStoreTest : public ::testing::Test {
 protected:
  std::optional<SecretItem> storedItem() { return direct->read(service, account).item; }
  std::vector<PairingRecord> storedRecords() {
    auto item = storedItem();
    if (!item) return {};
    return PairedDeviceCoding::decodeRecords(item->data).value_or(std::vector<PairingRecord>{});
  }

  testing::ManualClock clock{start};
  std::shared_ptr<testing::MemorySecretStore> direct =
      std::make_shared<testing::MemorySecretStore>(clock);
  std::shared_ptr<RecordingSecretStore> secrets = std::make_shared<RecordingSecretStore>(direct);
  PairedDeviceStore store{secrets, service};
};

TEST_F(PairedDeviceStoreTest, SavingWritesTheWholeListAsOneLabelledItemByDeleteThenAdd) {
  EXPECT_TRUE(secrets->calls.empty());  // nothing is read before the first use
  EXPECT_TRUE(store.records().empty());
  EXPECT_TRUE(store.isRemembering());
  EXPECT_TRUE(store.save(record(phoneID, "Phone", 0)));
  EXPECT_TRUE(store.save(record(watchID, "Watch", 10, 'w')));
  EXPECT_EQ(secrets->calls, (Calls{"read", "remove", "add", "remove", "add"}));
  auto item = storedItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->label, "Meterwright \u2014 paired devices");
  EXPECT_EQ(storedRecords(), store.records());
  EXPECT_EQ(store.records().size(), 2u);

  PairingRecord renamed = record(phoneID, "Ada's Phone", 5, 'b');
  store.save(renamed);
  EXPECT_EQ(store.record(phoneID), renamed);
  EXPECT_EQ(idsOf(storedRecords()), (std::vector<Uuid>{phoneID, watchID}));
  EXPECT_EQ(storedRecords()[0], renamed);

  store.remove(phoneID);
  EXPECT_EQ(idsOf(storedRecords()), std::vector<Uuid>{watchID});
  store.remove(watchID);  // the last one takes the item with it
  EXPECT_FALSE(storedItem());
  EXPECT_TRUE(store.records().empty());
  EXPECT_TRUE(store.isRemembering());
}

TEST_F(PairedDeviceStoreTest, RecordsComeBackOldestPairingFirstWhateverTheStoredOrder) {
  auto document =
      PairedDeviceCoding::encode({record(watchID, "Watch", 300), record(tabletID, "Tablet", -50),
                                  record(phoneID, "Phone", 7)});
  ASSERT_TRUE(document);
  ASSERT_EQ(direct->add(SecretItem{service, account, "label", *document, {}}),
            SecretStatus::success);
  EXPECT_EQ(idsOf(store.records()), (std::vector<Uuid>{tabletID, phoneID, watchID}));
}

TEST_F(PairedDeviceStoreTest, MarkSeenUpdatesAKnownDeviceAndWritesNothingForAnUnknownOne) {
  store.save(record(phoneID, "Phone", 0));
  secrets->calls.clear();
  store.markSeen(watchID, later(60));
  EXPECT_TRUE(secrets->calls.empty());
  EXPECT_EQ(store.records().size(), 1u);

  store.markSeen(phoneID, later(60.25));
  EXPECT_EQ(secrets->calls, (Calls{"remove", "add"}));
  EXPECT_EQ(store.record(phoneID)->device.lastSeenAt, later(60.25));
  EXPECT_EQ(storedRecords()[0].device.lastSeenAt, later(60.25));
  // The cache answered without a read (the calls above); a new process reads the item.
  PairedDeviceStore nextProcess(direct, service);
  EXPECT_EQ(nextProcess.records(), store.records());
}

TEST_F(PairedDeviceStoreTest, ACorruptDocumentLoadsEmptyAndIsReplacedByTheNextSave) {
  ASSERT_EQ(direct->add(SecretItem{service, account, "label", "{ this is not json", {}}),
            SecretStatus::success);
  EXPECT_TRUE(store.records().empty());
  PairingRecord phone = record(phoneID, "Phone", 0);
  EXPECT_TRUE(store.save(phone));
  EXPECT_EQ(storedRecords(), std::vector<PairingRecord>{phone});
}

TEST_F(PairedDeviceStoreTest, AFailedWriteKeepsTheChangeInMemoryAndStopsRemembering) {
  store.save(record(phoneID, "Phone", 0));
  secrets->failWrites = true;
  EXPECT_FALSE(store.save(record(watchID, "Watch", 1)));
  EXPECT_FALSE(store.isRemembering());
  EXPECT_EQ(idsOf(store.records()), (std::vector<Uuid>{phoneID, watchID}));
  EXPECT_FALSE(storedItem());

  secrets->failWrites = false;
  EXPECT_TRUE(store.save(record(tabletID, "Tablet", 2)));
  EXPECT_TRUE(store.isRemembering());
  EXPECT_EQ(idsOf(storedRecords()), (std::vector<Uuid>{phoneID, tabletID, watchID}));
}

TEST_F(PairedDeviceStoreTest, ARecordThatCannotBeEncodedLeavesTheItemUntouched) {
  store.save(record(phoneID, "Phone", 0));
  secrets->calls.clear();
  EXPECT_FALSE(store.save(record(watchID, "\xff\xfe", 1)));
  EXPECT_TRUE(secrets->calls.empty());
  EXPECT_FALSE(store.isRemembering());
  EXPECT_EQ(idsOf(storedRecords()), std::vector<Uuid>{phoneID});
  EXPECT_EQ(store.records().size(), 2u);

  store.removeAll();  // forgets everything and keeps the last write's outcome
  EXPECT_TRUE(store.records().empty());
  EXPECT_FALSE(storedItem());
  EXPECT_FALSE(store.isRemembering());
}

}  // namespace
}  // namespace meterwright
