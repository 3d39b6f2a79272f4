#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "core/sync/cloud/CloudFolderStore.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/cloud/CloudRecordCoding.h"
#include "core/sync/cloud/CloudRecords.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/protocol/SyncCoding.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::ManualClock;
using testing::TemporaryFolder;
using testing::writeFile;

// A watch the test fires by hand, as inotify would report a name.
class HandWatch final : public FolderChangeWatch {
 public:
  bool start(const fs::path& watched, std::function<void(const std::string&)> changed) override {
    folder = watched;
    onChange = std::move(changed);
    return true;
  }
  void stop() override { onChange = nullptr; }

  fs::path folder;
  std::function<void(const std::string&)> onChange;
};

class CloudKitTransportTest : public ::testing::Test {
 protected:
  CloudKitTransportTest() {
    fs::create_directory(container);
    computer.emplace(computerIdentity.deviceID(), container, clock, nullptr);
    device.emplace(deviceIdentity.deviceID(), container, clock, watch);
    device->onEnvelope = [this](const SyncEnvelope& envelope) { inbox.add(envelope); };
  }

  void startBoth() {
    computer->start();
    device->start();
    ASSERT_TRUE(computer->waitUntilChecked(10));
    ASSERT_TRUE(device->waitUntilChecked(10));
    ASSERT_TRUE(computer->isAvailable()) << *computer->unavailableReason();
    ASSERT_TRUE(device->isAvailable()) << *device->unavailableReason();
  }

  CloudPairingRequest request() const {
    return {2,         deviceIdentity.deviceID(),      "Ada's Watch",
            "watchOS", deviceIdentity.publicKeyData(), clock->now()};
  }

  SyncEnvelope envelope(const std::string& sealed) const {
    return {2, computerIdentity.deviceID(), sealed};
  }

  fs::path mailbox(const Uuid& id) const {
    return container / "Sync" / (CloudRecords::mailboxName(id) + ".json");
  }

  TemporaryFolder folder;
  fs::path container = folder.path() / "iCloud.dev.velmora.meterwright";
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  std::shared_ptr<HandWatch> watch = std::make_shared<HandWatch>();
  PairingIdentity computerIdentity{Uuid::random(), "Studio"};
  PairingIdentity deviceIdentity{Uuid::random(), "Ada's Watch"};
  testing::Journal<SyncEnvelope> inbox;
  std::optional<CloudKitTransport> computer;
  std::optional<CloudKitTransport> device;
};

TEST_F(CloudKitTransportTest, DeviceAsksComputerGrantsAndBothDeriveTheSameKey) {
  startBoth();
  const CloudPairingRequest asked = request();
  ASSERT_TRUE(device->askToPair(asked));

  clock->advance(30);
  auto pending = computer->pendingRequest(clock->now());
  ASSERT_EQ(pending, asked);
  auto granted = computerIdentity.grant(*pending, clock->now());
  ASSERT_TRUE(granted);
  EXPECT_EQ(device->fetchGrant(), std::nullopt);
  ASSERT_TRUE(computer->grant(granted->grant, pending->deviceID));
  computer->withdrawRequest();
  EXPECT_EQ(computer->pendingRequest(clock->now()), std::nullopt);

  auto grant = device->fetchGrant();
  ASSERT_EQ(grant, granted->grant);
  EXPECT_EQ(deviceIdentity.sharedKey(grant->publicKey, grant->token), granted->key);
  EXPECT_TRUE(computer->isAvailable());
  EXPECT_TRUE(device->isAvailable());
}

TEST_F(CloudKitTransportTest, StaleAndNewerRequestsAreNotShown) {
  startBoth();
  CloudPairingRequest asked = request();
  ASSERT_TRUE(device->askToPair(asked));
  EXPECT_TRUE(computer->pendingRequest(addingSeconds(clock->now(), 899)));
  EXPECT_FALSE(computer->pendingRequest(addingSeconds(clock->now(), 901)));
  asked.version = 3;
  ASSERT_TRUE(device->askToPair(asked));
  EXPECT_FALSE(computer->pendingRequest(clock->now()));
  EXPECT_TRUE(computer->isAvailable());
  EXPECT_TRUE(computer->ignoredFiles().empty());
}

TEST_F(CloudKitTransportTest, OnlyTheNewestEnvelopePerDeviceSurvives) {
  startBoth();
  computer->send(envelope("first"), {deviceIdentity.deviceID()});
  computer->send(envelope("second"), {deviceIdentity.deviceID()});
  ASSERT_TRUE(computer->waitUntilIdle(10));
  device->fetch();
  EXPECT_EQ(inbox.items(), std::vector<SyncEnvelope>{envelope("second")});
}

TEST_F(CloudKitTransportTest, TheWatchFetchesOnlyWhenTheOwnMailboxChanges) {
  startBoth();
  device->subscribeToChanges();
  ASSERT_EQ(watch->folder, container / "Sync");
  computer->send(envelope("sealed"), {deviceIdentity.deviceID()});
  ASSERT_TRUE(computer->waitUntilIdle(10));
  const auto own = mailbox(deviceIdentity.deviceID()).filename().string();
  const std::vector<std::string> others{own + ".part", ".syncthing." + own + ".tmp",
                                        "pairing-request.json",
                                        mailbox(computerIdentity.deviceID()).filename()};
  for (const auto& name : others) {
    watch->onChange(name);
  }
  EXPECT_TRUE(inbox.items().empty());
  watch->onChange(own);
  EXPECT_EQ(inbox.items(), std::vector<SyncEnvelope>{envelope("sealed")});
}

TEST_F(CloudKitTransportTest, HostileMailboxIsIgnoredAndTheRouteStaysUp) {
  startBoth();
  const auto path = mailbox(deviceIdentity.deviceID());
  const struct {
    const char* what;
    std::string contents;
  } cases[] = {
      {"not JSON", "{{{{"},
      {"a pairing record", *CloudRecordCoding::encode(*CloudRecords::requestRecord(
                               {2, deviceIdentity.deviceID(), "x", "y",
                                deviceIdentity.publicKeyData(), clock->now()}))},
      {"a self-test record",
       *CloudRecordCoding::encode(CloudRecords::selfTestRecord(Uuid::random(), clock->now()))},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.what);
    writeFile(path, item.contents);
    device->fetch();
    EXPECT_TRUE(inbox.items().empty());
    EXPECT_TRUE(device->isAvailable());
    auto ignored = device->ignoredFiles();
    ASSERT_EQ(ignored.size(), 1u);
    EXPECT_EQ(ignored[0].fileName, path.filename().string());
  }
}

TEST_F(CloudKitTransportTest, ASendWhoseSecondMailboxFailsStillWritesTheThird) {
  startBoth();
  Uuid first = Uuid::random(), second = Uuid::random(), third = Uuid::random();
  fs::create_directory(mailbox(second));
  computer->send(envelope("sealed"), {first, second, third});
  ASSERT_TRUE(computer->waitUntilIdle(10));
  CloudFolderStore store(container);
  EXPECT_TRUE(store.fetch(CloudRecords::mailboxName(first)).record);
  EXPECT_TRUE(store.fetch(CloudRecords::mailboxName(third)).record);
  EXPECT_TRUE(fs::is_directory(mailbox(second)));
  EXPECT_TRUE(computer->isAvailable());
  EXPECT_EQ(computer->unavailableReason(), std::nullopt);
}

// Before the start no zone exists, so the self-test fails at its first step.
TEST_F(CloudKitTransportTest, SelfTestWritesReadsAndRemovesItsRecordOrNamesTheFailedStep) {
  auto failed = computer->selfTest();
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().kind, SyncError::Kind::transportFailed);
  EXPECT_NE(failed.error().text.find("Sync"), std::string::npos) << failed.error().text;

  computer->start();
  ASSERT_TRUE(computer->waitUntilChecked(10));
  auto result = computer->selfTest();
  ASSERT_TRUE(result) << result.error().text;
  EXPECT_EQ(result.value(), "wrote a Envelope, read it back, and removed it");
  EXPECT_TRUE(fs::is_empty(container / "Sync"));
}

TEST_F(CloudKitTransportTest, AnUnusableContainerFailsTheAccountCheckWithAReason) {
  CloudKitTransport lost(Uuid::random(), folder.path() / "nowhere", clock, nullptr);
  lost.start();
  ASSERT_TRUE(lost.waitUntilChecked(10));
  EXPECT_EQ(lost.unavailableReason(),
            "No iCloud folder on this computer. Create it inside a folder your sync tool "
            "replicates and Meterwright can reach your other devices from anywhere.");

  // A file where the zone's folder belongs.
  writeFile(container / "Sync", "");
  computer->start();
  ASSERT_TRUE(computer->waitUntilChecked(10));
  EXPECT_FALSE(computer->isAvailable());
  auto reason = computer->unavailableReason();
  ASSERT_TRUE(reason);
  EXPECT_NE(reason->find((container / "Sync").string()), std::string::npos) << *reason;
  computer->stop();

  // As root, permission bits do not stop writes.
  if (::geteuid() == 0) return;
  fs::remove(container / "Sync");
  fs::permissions(container, fs::perms::owner_read | fs::perms::owner_exec);
  computer->start();
  ASSERT_TRUE(computer->waitUntilChecked(10));
  fs::permissions(container, fs::perms::owner_all);
  EXPECT_FALSE(computer->isAvailable());
  EXPECT_NE(computer->unavailableReason()->find("Permission denied"), std::string::npos);
}

TEST_F(CloudKitTransportTest, StopReturnsToNotStartedAndDropsSends) {
  EXPECT_FALSE(computer->waitUntilChecked(0.1)) << "never started, so never checked";
  EXPECT_EQ(computer->unavailableReason(), "Not started");
  startBoth();
  computer->stop();
  EXPECT_FALSE(computer->isAvailable());
  EXPECT_EQ(computer->unavailableReason(), "Not started");
  computer->send(envelope("late"), {deviceIdentity.deviceID()});
  EXPECT_TRUE(computer->waitUntilIdle(0));
  EXPECT_FALSE(fs::exists(mailbox(deviceIdentity.deviceID())));
  EXPECT_FALSE(computer->pendingRequest(clock->now()));
  EXPECT_FALSE(computer->grant({}, Uuid::random()));
}

// A send queued behind work that cannot finish stays in flight until the time-out.
TEST_F(CloudKitTransportTest, WaitUntilIdleGivesUpAtItsTimeOut) {
  EXPECT_TRUE(computer->waitUntilIdle(0.1));
  startBoth();
  computer->send(envelope("waiting"), {deviceIdentity.deviceID()});
  ASSERT_TRUE(computer->waitUntilIdle(10));
  device->stop();

  std::mutex mutex;
  std::condition_variable released;
  bool entered = false, release = false;
  device->onEnvelope = [&](const SyncEnvelope&) {
    std::unique_lock lock(mutex);
    entered = true;
    released.notify_all();
    released.wait_for(lock, std::chrono::seconds(10), [&] { return release; });
  };
  device->start();
  {
    // The preparation's fetch now holds the worker inside onEnvelope.
    std::unique_lock lock(mutex);
    ASSERT_TRUE(released.wait_for(lock, std::chrono::seconds(10), [&] { return entered; }));
  }
  device->send(envelope("stuck"), {computerIdentity.deviceID()});
  EXPECT_FALSE(device->waitUntilIdle(0.1));
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  released.notify_all();
  EXPECT_TRUE(device->waitUntilIdle(10));
}

TEST(CloudKitTransportPlaces, ContainerFolderDefaultsUnderTheDataFolderUnlessTheVariableIsSet) {
  TemporaryFolder folder;
  auto locations = folder.locations();
  auto environment = [](std::optional<std::string> value) {
    return [value](const char* name) -> std::optional<std::string> {
      return std::string(name) == "METERWRIGHT_CLOUD_CONTAINER" ? value : std::nullopt;
    };
  };
  auto standard =
      *locations.applicationSupport / "Meterwright/cloud/iCloud.dev.velmora.meterwright";
  EXPECT_EQ(CloudKitTransport::containerFolder(locations, environment(std::nullopt)), standard);
  EXPECT_EQ(CloudKitTransport::containerFolder(locations, environment("relative/path")), standard);
  EXPECT_EQ(CloudKitTransport::containerFolder(locations, environment("/srv/sync/meterwright")),
            "/srv/sync/meterwright");

  EXPECT_FALSE(CloudKitTransport::isEntitled(standard));
  fs::create_directories(folder.path() / "synced");
  fs::create_directories(standard.parent_path());
  fs::create_directory_symlink(folder.path() / "synced", standard);
  EXPECT_TRUE(CloudKitTransport::isEntitled(standard));
}

}  // namespace
}  // namespace meterwright
