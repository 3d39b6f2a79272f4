#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/settings/UserDefaults.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/lan/RecordingDevice.h"
#include "desktop/sync/IdentityKeyStore.h"
#include "desktop/sync/SyncManager.h"
#include "support/ManualClock.h"
#include "support/MemorySecretStore.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::Journal;

// Claude's five-hour window `used` percent spent; Codex keeps plenty.
Snapshot reading(double used, Date at) {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", at, {{300, used, {}, {}}}};
  ProviderSnapshot codex{"codex", "Codex", {}, "live", at, {{10080, 10, {}, {}}}};
  return Snapshot{at, {claude, codex}, "composite", "direct"};
}

Config configuration() {
  Config config;
  config.warnBelowRemainingPercent = 20;
  config.metric = Config::Metric::used;
  config.providers = {{"claude", "Claude", true, {300}, "sparkle", "#D97757", 300},
                      {"codex", "Codex", false, {}, "cube.fill", "#10A37F", 300}};
  return config;
}

class SyncManagerTest : public ::testing::Test {
 protected:
  SyncManager::Options options() {
    SyncManager::Options options;
    options.secrets = secrets;
    options.userDefaultsFile = temp.path() / "state" / "defaults.json";
    options.clock = clock;
    options.deviceName = "Ada\u2019s ThinkPad";
    options.listenAddress = "127.0.0.1";
    options.cloudContainer = temp.path() / "cloud" / "iCloud.dev.velmora.meterwright";
    options.publisherLockFile = temp.path() / "run" / "publisher.lock";
    options.icons = icons;
    return options;
  }

  testing::TemporaryFolder temp;
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<testing::MemorySecretStore> secrets =
      std::make_shared<testing::MemorySecretStore>(*clock);
  std::atomic<int> drawn{0};
  std::shared_ptr<IconCache> icons =
      std::make_shared<IconCache>([this](std::string_view spec) -> std::optional<std::string> {
        ++drawn;
        return "png of " + std::string(spec);
      });
};

TEST_F(SyncManagerTest, RepeatedReadingsGiveEventsOnceAndThePayloadIconsOnlyForEnabledProviders) {
  SyncManager manager(options());
  std::vector<std::vector<SyncEvent>> announced;
  manager.onEvents = [&](const std::vector<SyncEvent>& events) { announced.push_back(events); };

  manager.publish(reading(95, clock->now()), configuration());
  ASSERT_EQ(announced.size(), 1u);
  ASSERT_EQ(announced[0].size(), 1u);
  EXPECT_EQ(announced[0][0].id(), "low-claude-5h-5");
  EXPECT_EQ(manager.coordinator()->currentPayload()->events, announced[0]);

  clock->advance(60);
  manager.publish(reading(95, clock->now()), configuration());
  EXPECT_EQ(announced.size(), 1u);
  std::optional<SyncPayload> payload = manager.coordinator()->currentPayload();
  ASSERT_TRUE(payload);
  EXPECT_TRUE(payload->events.empty());
  EXPECT_EQ(payload->providers, configuration().providers);
  EXPECT_EQ(payload->icons, (std::map<std::string, std::string>{{"claude", "png of sparkle"}}));
  EXPECT_EQ(payload->sourceName, "Ada\u2019s ThinkPad");
  EXPECT_EQ(payload->sentAt, clock->now());
  EXPECT_EQ(payload->metric, Config::Metric::used);
  EXPECT_EQ(payload->warnBelowRemainingPercent, 20);
  EXPECT_EQ(drawn, 1) << "the icon is drawn once and then taken from the cache";
}

// Either half of the identity gone makes a new computer; both kept, the same one.
TEST_F(SyncManagerTest, LosingTheKeyItemOrTheUserDefaultMakesANewIdentity) {
  const std::string key(SyncManager::identityDefaultsKey);
  struct Case {
    const char* lose;
    bool renewed;
  };
  for (Case each : {Case{"nothing", false}, Case{"key item", true}, Case{"user default", true}}) {
    PairingIdentity first = SyncManager(options()).identity();
    if (each.lose == std::string("key item"))
      secrets->remove(std::string(IdentityKeyStore::service),
                      std::string(IdentityKeyStore::account));
    if (each.lose == std::string("user default"))
      UserDefaults(options().userDefaultsFile).remove(key);

    PairingIdentity second = SyncManager(options()).identity();
    EXPECT_EQ(second.deviceID() != first.deviceID(), each.renewed) << each.lose;
    EXPECT_EQ(second.publicKeyData() != first.publicKeyData(), each.renewed) << each.lose;
    EXPECT_EQ(UserDefaults(options().userDefaultsFile).value(key), second.deviceID().text());
    auto item = secrets->read(std::string(IdentityKeyStore::service),
                              std::string(IdentityKeyStore::account));
    ASSERT_TRUE(item.item) << each.lose;
    EXPECT_EQ(item.item->data, second.privateKeyData());
    EXPECT_EQ(item.item->label, "Meterwright \u2014 this computer\u2019s pairing key");
  }
}

TEST_F(SyncManagerTest, WithoutTheContainerFolderTheCloudRouteIsAbsentAndSaysWhy) {
  SyncManager manager(options());
  EXPECT_EQ(manager.cloud(), nullptr);
  EXPECT_EQ(manager.coordinator()->allTransports().size(), 1u);
  PairingIdentity tablet(Uuid::random(), "Tablet");
  EXPECT_FALSE(manager.approveCloudRequest(
      {2, tablet.deviceID(), "Tablet", "watchOS", tablet.publicKeyData(), clock->now()}));
  EXPECT_TRUE(manager.store()->records().empty());
  std::vector<AbsentRoute> absent = manager.absentRoutes();
  ASSERT_EQ(absent.size(), 1u);
  EXPECT_EQ(absent[0].name, "iCloud");
  EXPECT_NE(absent[0].reason.find("METERWRIGHT_CLOUD_CONTAINER"), std::string::npos);
}

// A watch asks through the cloud folder; approving stores the pairing and leaves a grant from
// which the watch derives the same key.
TEST_F(SyncManagerTest, ApprovingACloudRequestGrantsItAndRemembersTheDevice) {
  fs::create_directories(options().cloudContainer);
  SyncManager manager(options());
  ASSERT_NE(manager.cloud(), nullptr);
  EXPECT_EQ(manager.coordinator()->allTransports().size(), 2u);
  EXPECT_TRUE(manager.absentRoutes().empty());
  ASSERT_EQ(manager.start(), SyncManager::Start::started);
  ASSERT_TRUE(manager.cloud()->waitUntilChecked(10));
  ASSERT_TRUE(manager.cloud()->isAvailable()) << *manager.cloud()->unavailableReason();

  PairingIdentity watch(Uuid::random(), "Ada’s Watch");
  CloudKitTransport watchSide(watch.deviceID(), options().cloudContainer, clock, nullptr);
  watchSide.start();
  ASSERT_TRUE(watchSide.waitUntilChecked(10));
  const CloudPairingRequest request{2,         watch.deviceID(),      "Ada’s Watch",
                                    "watchOS", watch.publicKeyData(), clock->now()};
  ASSERT_TRUE(watchSide.askToPair(request));
  ASSERT_EQ(manager.cloud()->pendingRequest(clock->now()), request);

  EXPECT_TRUE(manager.approveCloudRequest(request));
  EXPECT_EQ(manager.cloud()->pendingRequest(clock->now()), std::nullopt);
  std::optional<PairingRecord> stored = manager.store()->record(watch.deviceID());
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->device,
            (PairedDevice{watch.deviceID(), "Ada’s Watch", "watchOS", clock->now(), {}}));
  std::optional<CloudPairingGrant> grant = watchSide.fetchGrant();
  ASSERT_TRUE(grant);
  EXPECT_EQ(grant->macID, manager.identity().deviceID());
  EXPECT_EQ(watch.sharedKey(grant->publicKey, grant->token), stored->key);
  watchSide.stop();
}

// A device pairs with the code over loopback and receives the reading published before; the
// pairing is stored, announced, and the second manager of the user is refused the publisher.
TEST_F(SyncManagerTest, ADevicePairsWithTheRunningManagerAndGetsTheRetainedReading) {
  SyncManager manager(options());
  Journal<PairedDevice> paired;
  manager.onDevicePaired = [&](const PairedDevice& device) { paired.add(device); };
  ASSERT_EQ(manager.start(), SyncManager::Start::started);
  ASSERT_TRUE(manager.publisher()->waitUntilReady(10));
  manager.publish(reading(40, clock->now()), configuration());

  SyncManager second(options());
  EXPECT_EQ(second.start(), SyncManager::Start::anotherProcessPublishes);
  EXPECT_EQ(second.publisher()->port(), std::nullopt);

  testing::RecordingDevice watch("Watch");
  watch.subscriber->connect("127.0.0.1", *manager.publisher()->port(),
                            manager.publisher()->makeInvitation(60).code);
  ASSERT_TRUE(watch.payloads.waitFor(1));
  EXPECT_EQ(watch.payloads.items()[0], *manager.coordinator()->currentPayload());
  ASSERT_TRUE(paired.waitFor(1));
  EXPECT_EQ(paired.items()[0].id, watch.id());
  ASSERT_TRUE(manager.store()->record(watch.id()));
  EXPECT_EQ(manager.store()->record(watch.id())->key, watch.paired.items()[0].second);

  manager.stop();
  EXPECT_EQ(second.start(), SyncManager::Start::started);
}

TEST_F(SyncManagerTest, APublisherErrorIsKeptAsItsDescription) {
  SyncManager manager(options());
  ASSERT_EQ(manager.start(), SyncManager::Start::started);
  ASSERT_TRUE(manager.publisher()->waitUntilReady(10));
  EXPECT_EQ(manager.lastError(), std::nullopt);

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(*manager.publisher()->port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const char garbage[] = "\0\0\0\2{}";
  ASSERT_EQ(::write(fd, garbage, 6), 6);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!manager.lastError() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ::close(fd);
  EXPECT_EQ(manager.lastError(), "Malformed message");
}

}  // namespace
}  // namespace meterwright
