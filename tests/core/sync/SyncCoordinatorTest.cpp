#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/sync/SyncCoordinator.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/usage/SampleSnapshot.h"
#include "support/ManualClock.h"
#include "support/MemorySecretStore.h"

namespace meterwright {
namespace {

struct Delivery {
  std::string transport;
  SyncEnvelope envelope;
  std::vector<Uuid> devices;
};

struct FakeTransport : SyncTransport {
  FakeTransport(std::string name, double latency, std::vector<Delivery>& log)
      : name_(std::move(name)), latency(latency), log(log) {}

  std::string name() const override { return name_; }
  bool isAvailable() const override { return ++availabilityQuestions, available; }
  double typicalLatency() const override { return latency; }
  void send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) override {
    log.push_back({name_, envelope, deviceIDs});
    if (duringSend) duringSend();
  }
  SyncResult<void> start() override {
    ++startCount;
    if (duringStart) duringStart();
    if (throwOnStart) throw std::runtime_error(*throwOnStart);
    return startFailure ? SyncResult<void>(*startFailure) : SyncResult<void>();
  }
  void stop() override { ++stopCount; }

  std::string name_;
  double latency;
  std::vector<Delivery>& log;
  bool available = true;
  std::optional<SyncError> startFailure;
  std::optional<std::string> throwOnStart;
  std::function<void()> duringSend, duringStart;
  int startCount = 0, stopCount = 0;
  mutable std::atomic<int> availabilityQuestions = 0;
};

PairedDevice device(const char* id, const char* name, double pairedAt) {
  return {*Uuid::parse(id), name, "iOS", dateFromUnixSeconds(pairedAt), {}};
}
const PairedDevice phone = device("11111111-1111-4111-8111-111111111111", "Phone", 1'700'000'000);
const PairedDevice watch = device("22222222-2222-4222-8222-222222222222", "Watch", 1'700'000'500);

SyncPayload payload() {
  SyncPayload value;
  value.sentAt = testing::sampleTime;
  value.sourceName = "Studio Mac";
  value.snapshot = testing::sampleSnapshot();
  value.providers = {ProviderConfig{"claude", "Claude", true, {300}, "sparkle", "#D97757", 300}};
  value.icons = {{"claude", std::string("\x89PNG\r\n\x1a\n", 8)}};
  return value;
}

class SyncCoordinatorTest : public ::testing::Test {
 protected:
  SyncCoordinatorTest()
      : secrets(std::make_shared<testing::MemorySecretStore>(clock)),
        store(std::make_shared<PairedDeviceStore>(secrets, "dev.velmora.meterwright.pairings")),
        coordinator(PairingIdentity(Uuid::random(), "Studio Mac"), store) {}

  std::shared_ptr<FakeTransport> transport(std::string name, double latency) {
    return std::make_shared<FakeTransport>(std::move(name), latency, log);
  }

  void pairPhoneAndWatch() {
    ASSERT_TRUE(store->save({watch, watchKey}));
    ASSERT_TRUE(store->save({phone, phoneKey}));
  }

  testing::ManualClock clock;
  std::shared_ptr<testing::MemorySecretStore> secrets;
  std::shared_ptr<PairedDeviceStore> store;
  SyncCoordinator coordinator;
  SymmetricKey phoneKey = SymmetricKey::random();
  SymmetricKey watchKey = SymmetricKey::random();
  std::vector<Delivery> log;
};

TEST_F(SyncCoordinatorTest, WithoutAnAvailableTransportOrSealablePayloadItIsKeptButNotSent) {
  pairPhoneAndWatch();
  auto local = transport("Local network", 0.05);
  coordinator.add(local);
  SyncPayload unsealable = payload();
  unsealable.snapshot.providers[0].windows[0].usedPercent =
      std::numeric_limits<double>::quiet_NaN();
  coordinator.publish(unsealable);
  ASSERT_TRUE(coordinator.currentPayload().has_value());
  EXPECT_TRUE(
      std::isnan(coordinator.currentPayload()->snapshot.providers[0].windows[0].usedPercent));

  local->available = false;
  coordinator.publish(payload());
  EXPECT_EQ(coordinator.currentPayload(), payload());
  EXPECT_TRUE(log.empty());
}

TEST_F(SyncCoordinatorTest, EachDeviceGetsItsOwnEnvelopeOverEveryTransportInLatencyOrder) {
  pairPhoneAndWatch();
  auto cloud = transport("Cloud", 5);
  coordinator.add(cloud);
  coordinator.add(transport("Local network", 0.05));
  coordinator.publish(payload());

  EXPECT_EQ(cloud->availabilityQuestions, 1);  // once per publish, not per device
  ASSERT_EQ(log.size(), 4u);
  const std::vector<std::pair<std::string, Uuid>> expected{{"Local network", phone.id},
                                                           {"Cloud", phone.id},
                                                           {"Local network", watch.id},
                                                           {"Cloud", watch.id}};
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].transport, expected[i].first) << "send " << i;
    EXPECT_EQ(log[i].devices, std::vector<Uuid>{expected[i].second}) << "send " << i;
    EXPECT_EQ(log[i].envelope.senderID, coordinator.identity().deviceID());
  }
  EXPECT_EQ(log[0].envelope, log[1].envelope);
  EXPECT_EQ(log[2].envelope, log[3].envelope);

  SyncResult<SyncPayload> forPhone = EnvelopeSealing::open(log[0].envelope, phoneKey);
  ASSERT_TRUE(forPhone.ok());
  EXPECT_EQ(forPhone.value(), payload());
  ASSERT_TRUE(EnvelopeSealing::open(log[2].envelope, watchKey).ok());
}

TEST_F(SyncCoordinatorTest, AvailableTransportsAreSortedByLatencyStablyAndSkipTheUnavailable) {
  auto slow = transport("slow", 0.5);
  auto offline = transport("offline", 0.01);
  offline->available = false;
  auto firstEven = transport("first even", 0.2);
  auto secondEven = transport("second even", 0.2);
  auto fast = transport("fast", 0.05);
  for (const auto& each : {slow, offline, firstEven, secondEven, fast}) coordinator.add(each);

  std::vector<std::shared_ptr<SyncTransport>> expected{fast, firstEven, secondEven, slow};
  EXPECT_EQ(coordinator.availableTransports(), expected);
  std::vector<std::shared_ptr<SyncTransport>> all{slow, offline, firstEven, secondEven, fast};
  EXPECT_EQ(coordinator.allTransports(), all);
}

// Before any publish there is nothing to catch up with; after one, the new device is announced
// and then sent the latest payload.
TEST_F(SyncCoordinatorTest, RememberingSavesAndAnnouncesThenBringsTheNewDeviceUpToDate) {
  coordinator.add(transport("Local network", 0.05));
  coordinator.add(transport("Cloud", 5));
  std::vector<std::pair<Uuid, std::size_t>> announced;  // with the sends made by then
  coordinator.onDevicePaired = [&](const PairedDevice& device) {
    announced.push_back({device.id, log.size()});
  };
  coordinator.remember(watch, watchKey);
  EXPECT_EQ(store->record(watch.id), (PairingRecord{watch, watchKey}));
  EXPECT_TRUE(log.empty());

  coordinator.publish(payload());
  log.clear();
  coordinator.remember(phone, phoneKey);
  EXPECT_EQ(announced, (std::vector<std::pair<Uuid, std::size_t>>{{watch.id, 0}, {phone.id, 0}}));
  ASSERT_EQ(log.size(), 4u);  // the phone paired first, so its envelopes lead
  EXPECT_EQ(log[0].transport, "Local network");
  EXPECT_EQ(log[1].transport, "Cloud");
  for (const Delivery& delivery : {log[0], log[1]}) {
    EXPECT_EQ(delivery.devices, std::vector<Uuid>{phone.id});
    SyncResult<SyncPayload> opened = EnvelopeSealing::open(delivery.envelope, phoneKey);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value(), payload());
  }
}

TEST_F(SyncCoordinatorTest, ATransportThatFailsToStartIsReportedOnceAndTheOthersStillStart) {
  auto first = transport("Local network", 0.05);
  auto failing = transport("iCloud", 5);
  failing->startFailure = SyncError::transportFailed("Address already in use");
  auto throwing = transport("Spare", 1);
  throwing->throwOnStart = "bind: Permission denied";
  auto last = transport("Bluetooth", 2);
  last->available = false;  // started and stopped all the same
  for (const auto& each : {first, failing, throwing, last}) coordinator.add(each);
  std::vector<SyncError> errors;
  coordinator.onError = [&](const SyncError& error) { errors.push_back(error); };

  coordinator.start();
  coordinator.stop();

  EXPECT_EQ(errors,
            (std::vector<SyncError>{SyncError::transportFailed("iCloud: Address already in use"),
                                    SyncError::transportFailed("Spare: bind: Permission denied")}));
  for (const auto& each : {first, failing, throwing, last}) {
    EXPECT_EQ(each->startCount, 1) << each->name();
    EXPECT_EQ(each->stopCount, 1) << each->name();
  }
}

TEST_F(SyncCoordinatorTest, ARevokedDeviceGetsNoEnvelopeFromTheNextPublish) {
  pairPhoneAndWatch();
  coordinator.add(transport("Local network", 0.05));
  coordinator.revoke(phone.id);
  coordinator.publish(payload());

  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].devices, std::vector<Uuid>{watch.id});
  EXPECT_EQ(coordinator.pairedDevices(), std::vector<PairedDevice>{watch});
}

TEST_F(SyncCoordinatorTest, TransportsMayCallBackIntoTheCoordinatorWhileStartingAndSending) {
  pairPhoneAndWatch();
  auto local = transport("Local network", 0.05);
  std::vector<std::size_t> seen;
  local->duringStart = [&] { seen.push_back(coordinator.allTransports().size()); };
  local->duringSend = [&] { seen.push_back(coordinator.currentPayload() ? 1 : 0); };
  coordinator.add(local);
  coordinator.start();
  coordinator.publish(payload());
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 1, 1}));
}

}  // namespace
}  // namespace meterwright
