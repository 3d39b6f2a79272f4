#include "desktop/windows/SetupWindowPictures.h"

#include "desktop/windows/GtkStart.h"
#include "desktop/windows/SetupWindowController.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"
#include "platform/power/SleepSchedule.h"

namespace meterwright::SetupWindowPictures {

std::vector<SettingsWindowPictures::Picture> render(
    const Config& config, std::shared_ptr<CompositeSource> source, const FileLocations& locations,
    const EnvironmentBlock& environment, std::shared_ptr<const Clock> clock, double scale) {
  std::vector<SettingsWindowPictures::Picture> pictures;
  if (!GtkStart::ensure()) return pictures;
  auto notifier = std::make_shared<Notifier>(Notifier::Options{environment});
  auto schedule = std::make_shared<SleepSchedule>(
      *clock, SleepSchedule::Options{environment, SleepSchedule::helperBesideExecutable()});
  for (bool dark : {false, true}) {
    SetupWindowController::Options options;
    options.scheduler = std::make_shared<MainContextScheduler>();
    // A command-line job may wait on its own thread; each of these has its own deadline.
    options.background = [](std::function<void()> job) { job(); };
    options.toMainThread = [](std::function<void()> job) { job(); };
    options.locations = locations;
    options.environment = environment;
    options.source = [source] { return source; };
    options.config = [config] { return config; };
    options.notificationAuthorization = [notifier] { return notifier->authorization(); };
    options.refreshNotifications = [notifier](std::function<void()> done) {
      notifier->refreshAuthorization(std::move(done));
    };
    options.loginItem = LoginItem::forProcess(environment.lookup(), locations.home);
    options.sleepSchedule = schedule;
    // Nothing is pressed in a picture.
    options.runInTerminal = [](const std::string&, const std::string&) { return false; };
    options.dark = dark;
    SetupWindowController window(std::move(options));
    if (auto png = window.previewImage(scale))
      pictures.push_back(
          {std::string("setup-assistant-") + (dark ? "dark.png" : "light.png"), std::move(*png)});
  }
  // Lets GTK finish with the destroyed windows.
  MainLoopWait::run(0);
  return pictures;
}

}  // namespace meterwright::SetupWindowPictures
