#include "desktop/app/AppWiring.h"

#include <utility>

#include "desktop/app/CompositeReadingSource.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/windows/MainThread.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/notifications/Notifier.h"
#include "platform/power/WakeRefresh.h"

namespace meterwright::AppWiring {

std::unique_ptr<AppDelegate> build(const CompositionRoot& root, Hooks hooks) {
  const ReaderContext& context = root.readerContext();
  std::shared_ptr<Notifier> notifier =
      hooks.notifier ? hooks.notifier
                     : std::make_shared<Notifier>(Notifier::Options{context.environment});
  notifier->requestAuthorization();
  auto scheduler = std::make_shared<MainContextScheduler>();
  std::shared_ptr<SyncManager> sync = ProcessSync::syncManager(root, MainThread::post);

  AppDelegate::Options options;
  options.locations = context.locations;
  options.clock = context.clock;
  options.scheduler = scheduler;
  options.toMainThread = MainThread::post;
  options.makeSource = [root](const Config& config) -> std::shared_ptr<ReadingSource> {
    return std::make_shared<CompositeReadingSource>(
        root.compositeSource(config.claudeDirect, config), root.claudeReader());
  };
  options.sync = sync;
  options.pairedDeviceCount = [sync] { return sync->store()->devices().size(); };
  options.notify = [notifier](const std::string& title, const std::string& body, bool sound,
                              const std::string& identifier) {
    notifier->post(title, body, sound, identifier);
  };
  options.loginItem = LoginItem::forProcess(context.environment.lookup(), context.locations.home);
  options.wake =
      std::make_shared<WakeRefresh>(*scheduler, WakeRefresh::Options{context.environment});
  options.openPairing = std::move(hooks.openPairing);
  options.openSetup = std::move(hooks.openSetup);
  options.openSettings = std::move(hooks.openSettings);
  options.devicePairedToWindow = std::move(hooks.devicePairedToWindow);
  options.endMainLoop = std::move(hooks.endMainLoop);
  options.wideTray = std::move(hooks.wideTray);
  options.darkPanel = std::move(hooks.darkPanel);
  return std::make_unique<AppDelegate>(std::move(options));
}

}  // namespace meterwright::AppWiring
