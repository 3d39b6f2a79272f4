#include "desktop/sync/SyncManager.h"

#include <arpa/inet.h>

#include <array>
#include <utility>

#include "core/settings/UserDefaults.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/usage/UsageEventDetector.h"
#include "desktop/sync/IdentityKeyStore.h"
#include "desktop/text/DesktopText.h"

namespace meterwright {

namespace {

// The stored identity when both halves are there and fit together, else a new one whose halves
// are stored for the next start. A computer that lost either half is a new computer to its
// devices, which must pair again.
PairingIdentity loadOrCreateIdentity(const SyncManager::Options& options) {
  UserDefaults defaults(options.userDefaultsFile);
  const std::string key(SyncManager::identityDefaultsKey);
  std::optional<Uuid> id;
  if (auto stored = defaults.value(key); stored && stored->is_string())
    id = Uuid::parse(stored->get<std::string>());
  if (id) {
    if (auto keyData = IdentityKeyStore::read(*options.secrets)) {
      if (auto restored = PairingIdentity::restore(*id, options.deviceName, *keyData))
        return *restored;
    }
  }
  PairingIdentity fresh(Uuid::random(), options.deviceName);
  defaults.set(key, fresh.deviceID().text());
  IdentityKeyStore::save(*options.secrets, fresh.privateKeyData());
  return fresh;
}

// 127.0.0.0/8 or ::1.
bool isLoopback(const std::string& address) {
  std::array<unsigned char, 16> bytes{};
  if (::inet_pton(AF_INET, address.c_str(), bytes.data()) == 1) return bytes[0] == 127;
  const std::array<unsigned char, 16> loopback6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return ::inet_pton(AF_INET6, address.c_str(), bytes.data()) == 1 && bytes == loopback6;
}

}  // namespace

SyncManager::SyncManager(Options options)
    : options_(std::move(options)),
      store_(std::make_shared<PairedDeviceStore>(options_.secrets, std::string(storeService))),
      identity_(loadOrCreateIdentity(options_)),
      alive_(std::make_shared<SyncManager*>(this)) {
  if (!options_.icons) options_.icons = IconCache::shared();
  // Nobody can reach a loopback listener from another machine, so it is not announced there.
  LocalNetworkPublisher::Listening listening{options_.listenAddress, 0,
                                             !isLoopback(options_.listenAddress)};
  publisher_ = std::make_shared<LocalNetworkPublisher>(
      identity_, options_.clock, options_.advertiser, LocalNetworkPublisher::Limits{}, listening);
  coordinator_ = std::make_shared<SyncCoordinator>(identity_, store_);
  coordinator_->add(publisher_);
  if (CloudKitTransport::isEntitled(options_.cloudContainer)) {
    cloud_ = std::make_shared<CloudKitTransport>(identity_.deviceID(), options_.cloudContainer,
                                                 options_.clock, options_.cloudWatch);
    coordinator_->add(cloud_);
  }
  wire();
}

SyncManager::~SyncManager() {
  // The publisher's queue outlives this object only in its own destructor; nothing it runs may
  // reach back here from now on.
  publisher_->detachCallbacks();
  coordinator_->onDevicePaired = nullptr;
  coordinator_->onError = nullptr;
  coordinator_->stop();
}

void SyncManager::wire() {
  // The publisher's callbacks run on its queue; `this` stays valid there until the destructor
  // has detached them.
  publisher_->onPairingCompleted = [this](const PairedDevice& device, const SymmetricKey& key) {
    coordinator_->remember(device, key);
  };
  // Called under the publisher's lock: reads the store alone (lock order publisher, store).
  publisher_->keyForDevice = [store = store_](const Uuid& id) -> std::optional<SymmetricKey> {
    std::optional<PairingRecord> record = store->record(id);
    if (!record) return std::nullopt;
    return record->key;
  };
  publisher_->onDevicePaired = [this](const PairedDevice& device) { deviceSeen(device); };
  publisher_->onError = [this](const SyncError& error) { record(error); };
  coordinator_->onError = [this](const SyncError& error) { record(error); };
}

void SyncManager::deviceSeen(const PairedDevice& device) {
  // A new pairing was stored with this very date; a returning device's record is brought up to
  // date, which rewrites the store's item, once per connection.
  std::optional<PairingRecord> stored = store_->record(device.id);
  if (stored && device.lastSeenAt && stored->device.lastSeenAt != device.lastSeenAt)
    store_->markSeen(device.id, *device.lastSeenAt);

  std::weak_ptr<SyncManager*> alive = alive_;
  auto announce = [alive, device] {
    std::shared_ptr<SyncManager*> manager = alive.lock();
    if (manager && (*manager)->onDevicePaired) (*manager)->onDevicePaired(device);
  };
  if (options_.toMainThread) {
    options_.toMainThread(std::move(announce));
  } else {
    announce();
  }
}

void SyncManager::record(const SyncError& error) {
  std::lock_guard guard(errorLock_);
  lastError_ = error.description();
}

SyncManager::Start SyncManager::start() {
  if (!lock_) {
    PublisherLock::Outcome outcome = PublisherLock::take(options_.publisherLockFile, lock_);
    if (outcome == PublisherLock::Outcome::heldElsewhere) return Start::anotherProcessPublishes;
    // Without a lock file nobody can be asked; publishing alone beats not publishing at all.
  }
  coordinator_->start();
  started_ = true;
  return Start::started;
}

void SyncManager::stop() {
  coordinator_->stop();
  lock_.reset();
  started_ = false;
}

void SyncManager::publish(const Snapshot& snapshot, const Config& config) {
  std::vector<SyncEvent> events =
      UsageEventDetector{config.warnBelowRemainingPercent}.events(previousSnapshot_, snapshot);
  previousSnapshot_ = snapshot;

  SyncPayload payload;
  payload.version = SyncProtocol::version;
  payload.sentAt = options_.clock->now();
  payload.sourceName = identity_.deviceName();
  payload.snapshot = snapshot;
  payload.providers = config.providers;
  payload.metric = config.metric;
  payload.warnBelowRemainingPercent = config.warnBelowRemainingPercent;
  payload.events = events;
  payload.icons = icons(config);

  // Both here, so no caller can forget either: devices that connect later get the retained
  // payload at once, paired ones get it sealed now.
  publisher_->retain(payload);
  coordinator_->publish(payload);

  if (!events.empty() && onEvents) onEvents(events);
}

std::map<std::string, std::string> SyncManager::providerIcons(const Config& config,
                                                              IconCache& cache) {
  std::map<std::string, std::string> icons;
  for (const ProviderConfig& provider : config.providers) {
    if (!provider.enabled) continue;
    if (std::optional<std::string> png = cache.png(provider.icon))
      icons[provider.id] = std::move(*png);
  }
  return icons;
}

std::map<std::string, std::string> SyncManager::icons(const Config& config) {
  return providerIcons(config, *options_.icons);
}

bool SyncManager::approveCloudRequest(const CloudPairingRequest& request) {
  if (!cloud_) return false;
  const Date now = options_.clock->now();
  std::optional<GrantedPairing> granted = identity_.grant(request, now);
  if (!granted) return false;
  coordinator_->remember(
      PairedDevice{request.deviceID, request.deviceName, request.platform, now, std::nullopt},
      granted->key);
  bool written = cloud_->grant(granted->grant, request.deviceID);
  cloud_->withdrawRequest();
  return written;
}

std::vector<AbsentRoute> SyncManager::absentRoutes() const {
  if (cloud_) return {};
  return {{"iCloud",
           desktop::L("sync.noCloudEntitlement",
                      "the cloud folder does not exist, so the route was never started \u2014 "
                      "create Meterwright/cloud/iCloud.dev.velmora.meterwright in the data folder "
                      "($XDG_DATA_HOME, by default ~/.local/share), or set "
                      "METERWRIGHT_CLOUD_CONTAINER to a folder your sync tool replicates")}};
}

std::optional<std::string> SyncManager::lastError() const {
  std::lock_guard guard(errorLock_);
  return lastError_;
}

}  // namespace meterwright
