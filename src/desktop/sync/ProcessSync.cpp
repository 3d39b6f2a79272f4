#include "desktop/sync/ProcessSync.h"

#include <string>
#include <utility>

#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "desktop/sync/PublisherLock.h"
#include "desktop/sync/SyncManager.h"
#include "platform/dnssd/AvahiServiceAdvertiser.h"
#include "platform/files/InotifyChangeWatch.h"
#include "platform/session/HostName.h"

namespace meterwright::ProcessSync {

std::unique_ptr<SyncManager> syncManager(const CompositionRoot& root,
                                         std::function<void(std::function<void()>)> toMainThread) {
  const ReaderContext& context = root.readerContext();
  const EnvironmentBlock& environment = context.environment;
  SyncManager::Options options;
  options.secrets = context.secrets;
  options.userDefaultsFile = context.locations.userDefaultsFile();
  options.clock = context.clock;
  options.deviceName = HostName::deviceName({environment});
  options.advertiser = std::make_shared<AvahiServiceAdvertiser>();
  options.listenAddress = environment.get("METERWRIGHT_LISTEN_ADDRESS").value_or("");
  options.cloudContainer =
      CloudKitTransport::containerFolder(context.locations, environment.lookup());
  options.cloudWatch = std::make_shared<InotifyChangeWatch>();
  options.publisherLockFile = PublisherLock::path(context.locations);
  options.toMainThread = std::move(toMainThread);
  return std::make_unique<SyncManager>(std::move(options));
}

std::shared_ptr<PairedDeviceStore> pairedDeviceStore(const CompositionRoot& root) {
  return std::make_shared<PairedDeviceStore>(root.readerContext().secrets,
                                             std::string(SyncManager::storeService));
}

}  // namespace meterwright::ProcessSync
