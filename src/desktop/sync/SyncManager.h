#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FolderChangeWatch.h"
#include "core/secrets/SecretStore.h"
#include "core/sync/SyncCoordinator.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/lan/ServiceAdvertiser.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SyncEvent.h"
#include "desktop/sync/IconCache.h"
#include "desktop/sync/PublisherLock.h"

namespace meterwright {

// A route to paired devices that is not running, and why, for the diagnostics.
struct AbsentRoute {
  std::string name;
  std::string reason;

  bool operator==(const AbsentRoute&) const = default;
};

// This computer's side of device sync: its pairing identity (key in the secret store, id in the
// user defaults), the paired-device store, the coordinator and its transports (the local-network
// publisher always, the cloud folder when it exists). Every reading the owner publishes becomes
// one payload with the events since the previous reading and the providers' icons, retained by
// the publisher for devices that connect later and sealed for every paired device.
//
// Construction, publish() and approveCloudRequest() run on the owner's thread. The publisher's
// callbacks arrive on its queue; onDevicePaired is handed to the owner's thread through
// Options::toMainThread. The destructor detaches the transports' callbacks before anything they
// reach goes away.
class SyncManager {
 public:
  static constexpr std::string_view identityDefaultsKey = "sync.identity.v1";
  static constexpr std::string_view storeService = "dev.velmora.meterwright.pairings";

  struct Options {
    std::shared_ptr<SecretStore> secrets;
    std::filesystem::path userDefaultsFile;
    std::shared_ptr<const Clock> clock;
    // What paired devices call this computer.
    std::string deviceName;
    // Null: the listener is reachable by address and port alone.
    std::shared_ptr<ServiceAdvertiser> advertiser;
    // An IP literal to listen on; empty for every interface. A loopback address is not advertised.
    std::string listenAddress;
    // The cloud route runs when this folder exists.
    std::filesystem::path cloudContainer;
    // May be null: the cloud route then hears of nothing by itself.
    std::shared_ptr<FolderChangeWatch> cloudWatch;
    // The lock that makes this the user's one publishing process.
    std::filesystem::path publisherLockFile;
    // Null: IconCache::shared().
    std::shared_ptr<IconCache> icons;
    // Runs work on the owner's thread; unset, it runs where it is handed over.
    std::function<void(std::function<void()>)> toMainThread;
  };

  explicit SyncManager(Options options);
  ~SyncManager();
  SyncManager(const SyncManager&) = delete;
  SyncManager& operator=(const SyncManager&) = delete;

  enum class Start { started, anotherProcessPublishes };
  // Takes the publisher lock and starts every transport. When another process of the user holds
  // the lock nothing is started.
  Start start();
  // Stops the transports and lets the lock go.
  void stop();
  // Between a start() that started and stop().
  bool started() const { return started_; }

  // One reading: events against the previous published reading, then the payload retained by the
  // publisher and published by the coordinator; onEvents gets the events when there are any.
  void publish(const Snapshot& snapshot, const Config& config);

  // Answers a device's cloud pairing request: a grant written for it and the agreed key
  // remembered. False without the cloud route, for an unusable request key, or when the grant
  // could not be written. Blocks for the cloud folder's file work: not on a main loop.
  bool approveCloudRequest(const CloudPairingRequest& request);

  // The cloud route when it is not running, with the reason.
  std::vector<AbsentRoute> absentRoutes() const;

  // The PNG of each shown provider's icon as devices receive it, by provider id; providers whose
  // icon cannot be drawn are left out. Draws the icons `cache` has not drawn yet.
  static std::map<std::string, std::string> providerIcons(const Config& config, IconCache& cache);

  // The description of the last error of the publisher or the coordinator.
  std::optional<std::string> lastError() const;

  const PairingIdentity& identity() const { return identity_; }
  // What paired devices call this computer.
  const std::string& deviceName() const { return options_.deviceName; }
  const std::shared_ptr<PairedDeviceStore>& store() const { return store_; }
  const std::shared_ptr<LocalNetworkPublisher>& publisher() const { return publisher_; }
  const std::shared_ptr<SyncCoordinator>& coordinator() const { return coordinator_; }
  // Null unless the container folder exists.
  const std::shared_ptr<CloudKitTransport>& cloud() const { return cloud_; }

  // Set before start(). After every pairing and every returning device, on the owner's thread.
  std::function<void(const PairedDevice&)> onDevicePaired;
  // On the thread that called publish().
  std::function<void(const std::vector<SyncEvent>&)> onEvents;

 private:
  void wire();
  void deviceSeen(const PairedDevice& device);
  void record(const SyncError& error);
  std::map<std::string, std::string> icons(const Config& config);

  Options options_;
  std::shared_ptr<PairedDeviceStore> store_;
  PairingIdentity identity_;
  std::shared_ptr<LocalNetworkPublisher> publisher_;
  std::shared_ptr<SyncCoordinator> coordinator_;
  std::shared_ptr<CloudKitTransport> cloud_;
  std::optional<Snapshot> previousSnapshot_;
  std::optional<PublisherLock> lock_;
  bool started_ = false;
  // Work handed to the owner's thread checks this first: the manager may be gone by then.
  std::shared_ptr<SyncManager*> alive_;

  mutable std::mutex errorLock_;  // guards lastError_
  std::optional<std::string> lastError_;
};

}  // namespace meterwright
