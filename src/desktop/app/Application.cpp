#include "desktop/app/Application.h"

#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <ostream>
#include <thread>
#include <utility>

#include "core/config/ConfigStore.h"
#include "core/readers/PolledSource.h"
#include "core/sync/SyncCoordinator.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/app/AppDelegate.h"
#include "desktop/app/AppWiring.h"
#include "desktop/app/CompositeReadingSource.h"
#include "desktop/app/ReadingWorker.h"
#include "desktop/app/TraySurface.h"
#include "desktop/control/ControlHandlers.h"
#include "desktop/control/PairingRequests.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"
#include "desktop/windows/MainThread.h"
#include "desktop/windows/PairingWindowController.h"
#include "desktop/windows/SettingsController.h"
#include "desktop/windows/SetupWindowController.h"
#include "desktop/windows/TrayPopup.h"
#include "platform/appearance/ColorScheme.h"
#include "platform/control/ControlClient.h"
#include "platform/control/ControlServer.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/notifications/Notifier.h"
#include "platform/power/SleepSchedule.h"
#include "platform/process/ChildProcess.h"
#include "platform/tray/TrayItem.h"

namespace meterwright::Application {

namespace {

// How long a reader's child has to end on SIGTERM when the application quits: `codex` and
// `claude` end at once, and quitting is not held up for one that does not.
constexpr double childGrace = 0.5;
// How long --wake-selftest's report waits for the cloud folder to write the reading.
constexpr double cloudIdleWait = 30;

// Everything the running application holds, in the order it is torn down (last first).
struct Running {
  GMainLoop* loop = nullptr;
  std::shared_ptr<MainContextScheduler> scheduler;
  std::unique_ptr<PairingWindowController> pairing;
  // The setup assistant's readings and password prompts run here; after the window in teardown.
  std::unique_ptr<ReadingWorker> setupWorker;
  std::unique_ptr<SetupWindowController> setup;
  std::unique_ptr<SettingsController> settings;
  TrayPopup popup;
  std::unique_ptr<AppDelegate> app;
  std::unique_ptr<TrayItem> tray;
  std::shared_ptr<TraySurface> surface;
  std::shared_ptr<PairingRequests> pairingRequests;
  std::unique_ptr<ControlServer> control;
  std::shared_ptr<const Clock> clock;
  // Asked once at start: the portal's answer is a D-Bus call, which the main loop must not wait
  // for on every click.
  bool dark = false;
  bool headless = true;
  bool saidHeadless = false;
};

TrayPopup::Content popupContent(const Running& running) {
  const StatusPresentation& shown = running.app->presentation();
  TrayPopup::Content content;
  content.entries = shown.entries;
  content.config = running.app->config();
  content.footer = shown.footer;
  content.context.dark = running.dark;
  content.context.now = running.app->now();
  return content;
}

void wirePairingWindow(Running& running, const std::shared_ptr<SyncManager>& sync) {
  PairingWindowController& window = *running.pairing;
  std::shared_ptr<LocalNetworkPublisher> publisher = sync->publisher();
  window.makeInvitation = [publisher] { return publisher->makeInvitation(60); };
  window.isListening = [publisher] { return publisher->port().has_value(); };
  window.pairedDevices = [sync] { return sync->store()->devices(); };
  AppDelegate* app = running.app.get();
  window.revokeDevice = [app](const Uuid& id) { app->revokeDevice(id); };
  // The cloud folder's file work runs off the main loop; the answers come back through the
  // window's completions.
  window.pendingRequest = [sync, clock = running.clock](auto done) {
    std::shared_ptr<CloudKitTransport> cloud = sync->cloud();
    if (!cloud) return done(std::nullopt);
    std::thread([cloud, clock, done] { done(cloud->pendingRequest(clock->now())); }).detach();
  };
  window.approveRequest = [sync](const CloudPairingRequest& request, auto done) {
    std::thread([sync, request, done] { done(sync->approveCloudRequest(request)); }).detach();
  };
  window.declineRequest = [sync](std::function<void()> done) {
    std::shared_ptr<CloudKitTransport> cloud = sync->cloud();
    std::thread([cloud, done] {
      if (cloud) cloud->withdrawRequest();
      done();
    }).detach();
  };
}

void wireSetupWindow(Running& running, const FileLocations& locations,
                     const EnvironmentBlock& block, std::shared_ptr<Notifier> notifier) {
  running.setupWorker = std::make_unique<ReadingWorker>();
  AppDelegate* app = running.app.get();
  SetupWindowController::Options options;
  options.scheduler = running.scheduler;
  options.background = [worker = running.setupWorker.get()](std::function<void()> job) {
    worker->run(std::move(job));
  };
  options.toMainThread = MainThread::post;
  options.locations = locations;
  options.environment = block;
  options.source = [app]() -> std::shared_ptr<CompositeSource> {
    auto source = std::dynamic_pointer_cast<CompositeReadingSource>(app->source());
    return source ? source->composite() : nullptr;
  };
  options.config = [app] { return app->config(); };
  options.notificationAuthorization = [notifier] { return notifier->authorization(); };
  options.refreshNotifications = [notifier](std::function<void()> done) {
    notifier->refreshAuthorization(std::move(done));
  };
  options.openNotificationSettings = [notifier] { notifier->openSystemSettings(); };
  options.loginItem = LoginItem::forProcess(block.lookup(), locations.home);
  // The schedule keeps the clock it reads alive: a prompt may outlast the rest of the program.
  std::shared_ptr<const Clock> clock = running.clock;
  options.sleepSchedule = std::shared_ptr<SleepSchedule>(
      new SleepSchedule(*clock, {block, SleepSchedule::helperBesideExecutable()}),
      [clock](SleepSchedule* schedule) { delete schedule; });
  options.dark = running.dark;
  running.setup = std::make_unique<SetupWindowController>(std::move(options));
  // What the user just did there (a sign-in, say) is worth a reading now.
  running.setup->onFinished = [app] { app->forceRefresh(); };
}

using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

// Sends the wake report once the cloud folder has written the reading, looking every tenth of a
// second for at most `left` seconds: the main loop is never held up waiting.
void sendWhenIdle(std::weak_ptr<Scheduler> scheduler, std::shared_ptr<CloudKitTransport> cloud,
                  ControlEvent event, ControlServer::EventSender later, Steady::time_point start,
                  double left) {
  constexpr double step = 0.1;
  bool idle = !cloud || cloud->waitUntilIdle(0);
  auto alive = scheduler.lock();
  if (idle || left <= 0 || !alive) {
    event.wake.idle = idle;
    event.wake.totalSeconds = secondsSince(start);
    later(event);
    return;
  }
  alive->after(step, [scheduler, cloud, event, later, start, left] {
    sendWhenIdle(scheduler, cloud, event, later, start, left - step);
  });
}

// --wake-selftest through this instance: one reading and its publish, timed. The report always
// leaves from a timer on the main loop, never from within the request's handler.
void wakeForSelfTest(Running& running, ControlServer::EventSender later) {
  Steady::time_point start = Steady::now();
  Running* state = &running;
  running.app->refresh([state, later = std::move(later), start] {
    if (!state->app) return;
    ControlEvent event{ControlEventKind::woke, {}, {}};
    if (const auto& snapshot = state->app->snapshot())
      for (const ProviderSnapshot& provider : snapshot->providers)
        event.wake.providers.push_back(provider.id);
    event.wake.readSeconds = secondsSince(start);
    std::shared_ptr<CloudKitTransport> cloud;
    if (const auto& sync = state->app->sync()) {
      event.wake.pairedDevices = static_cast<std::int64_t>(sync->store()->devices().size());
      if (!event.wake.providers.empty() && sync->cloud() && sync->cloud()->isAvailable())
        cloud = sync->cloud();
    }
    std::weak_ptr<Scheduler> scheduler = state->scheduler;
    state->scheduler->after(0, [scheduler, cloud, event, later, start] {
      sendWhenIdle(scheduler, cloud, event, later, start, cloudIdleWait);
    });
  });
}

// The settings window over the application: it reads the reader's sources, and hands what it
// saves back to the controller.
void wireSettingsWindow(Running& running, const FileLocations& locations,
                        const Environment& environment) {
  SettingsController::Options options;
  options.locations = locations;
  options.clock = running.clock;
  options.scheduler = running.scheduler;
  options.environment = environment;
  options.dark = running.dark;
  options.touchBarSupported = TouchBarPrivate::available();
  options.version = METERWRIGHT_VERSION;
  running.settings = std::make_unique<SettingsController>(std::move(options));
  SettingsController& window = *running.settings;
  AppDelegate* app = running.app.get();
  window.onApply = [app](const Config& config) { app->apply(config); };
  window.onRefreshRequested = [app] { app->refresh(); };
  window.onQuit = [app] { app->quit(); };
  // The reader exists from launch() on; the window cannot be opened before.
  window.connections.sources = [app] {
    std::vector<SourceState> states;
    if (!app->source()) return states;
    for (const auto& source : app->source()->polledSources())
      states.push_back(SourceState::of(*source));
    return states;
  };
  window.connections.forceRefresh = [app] {
    return app->source() && app->source()->forceRefresh();
  };
  window.connections.manualRefreshAvailableIn = [app] {
    return app->source() ? app->source()->manualRefreshAvailableIn() : 0.0;
  };
  window.connections.sessionExpiry = [app]() -> std::optional<Date> {
    if (!app->source() || !app->source()->claudeDirect()) return std::nullopt;
    return app->source()->sessionExpiry();
  };
}

void wireControl(Running& running, const FileLocations& locations, const Environment& environment,
                 std::ostream& err) {
  ControlServer::Options options;
  options.socket = ControlClient::socketPath(locations);
  options.user = ::getuid();
  running.control = std::make_unique<ControlServer>(std::move(options));
  Running* state = &running;
  running.control->onShow = [state] {
    if (state->headless) return true;
    state->popup.show(popupContent(*state), 0, 0);
    return false;
  };
  running.control->onStatus = [state] { return state->headless; };
  running.control->onWake = [state](ControlServer::EventSender later) {
    wakeForSelfTest(*state, std::move(later));
    return ControlAnswer{};
  };
  running.control->onDiagnose = [state] {
    const auto& sync = state->app->sync();
    ControlDiagnosis diagnosis = sync ? ControlHandlers::syncDiagnosis(*sync) : ControlDiagnosis{};
    diagnosis.trayItemRegistered = !state->headless;
    return diagnosis;
  };
  if (const auto& sync = running.app->sync()) {
    running.pairingRequests =
        std::make_shared<PairingRequests>(sync->publisher(), running.scheduler, running.clock,
                                          environment("METERWRIGHT_LISTEN_ADDRESS").value_or(""));
    ControlHandlers::install(*running.control, *sync, running.pairingRequests);
    std::weak_ptr<PairingRequests> requests = running.pairingRequests;
    // New pairings (not returning devices) answer a waiting --pair; they arrive on the
    // publisher's queue.
    sync->coordinator()->onDevicePaired = [requests](const PairedDevice& device) {
      MainThread::post([requests, name = device.name] {
        if (auto alive = requests.lock()) alive->devicePaired(name);
      });
    };
  }
  if (running.control->start() == ControlServer::Start::unavailable) {
    err << desktop::L("app.noControlSocket",
                      "meterwright: the control socket could not be opened; other runs will not "
                      "find this one")
        << "\n";
  }
}

void wireTray(Running& running, const EnvironmentBlock& block, std::ostream& err) {
  running.tray = std::make_unique<TrayItem>(TrayItem::Options{block});
  running.surface = std::make_shared<TraySurface>(*running.tray);
  Running* state = &running;
  running.tray->onAction([state](TrayAction action) { state->app->perform(action); });
  running.tray->onActivate([state](int x, int y) {
    // A window manager that keeps the popup from taking the focus would leave it open: a second
    // click closes it.
    if (state->popup.isShown()) return state->popup.close();
    state->popup.show(popupContent(*state), x, y);
  });
  running.tray->onHostAvailabilityChanged([state, &err](bool shown) {
    state->headless = !shown;
    if (shown) {
      state->app->attach(state->surface);
    } else if (!state->saidHeadless) {
      state->saidHeadless = true;
      err << desktop::L("app.headless",
                        "meterwright: no tray host (StatusNotifierWatcher) on the session bus; "
                        "running without a tray, and watching for one")
          << std::endl;
    }
  });
}

}  // namespace

int run(const FileLocations& locations, std::ostream& err) {
  Running running;
  running.loop = g_main_loop_new(nullptr, false);
  running.scheduler = std::make_shared<MainContextScheduler>();
  // The application may ask the secret store to prompt; a command-line run may not.
  CompositionRoot root = CompositionRoot::forProcess(locations, /*allowKeychainPrompt=*/true);
  const EnvironmentBlock& block = root.readerContext().environment;
  Environment environment = block.lookup();

  running.clock = root.readerContext().clock;
  running.dark = ColorScheme::prefersDark(environment);
  running.pairing = std::make_unique<PairingWindowController>(running.clock, running.dark);
  PairingWindowController* pairing = running.pairing.get();
  GMainLoop* loop = running.loop;
  AppWiring::Hooks hooks;
  hooks.endMainLoop = [loop] { g_main_loop_quit(loop); };
  hooks.openPairing = [pairing] { pairing->show(); };
  Running* state = &running;
  // A file edited by hand since is taken up first, so the window shows what the file says.
  hooks.openSettings = [state, locations] {
    ConfigLoadResult loaded = ConfigStore::load(locations);
    if (!loaded.error && loaded.config != state->app->config()) state->app->apply(loaded.config);
    state->settings->show(state->app->config(), state->app->snapshot());
  };
  hooks.devicePairedToWindow = [pairing](const PairedDevice& device) {
    pairing->devicePaired(device);
  };
  // Built once the controller exists, which it reads from; the first launch asks only later.
  hooks.openSetup = [state] {
    if (state->setup) state->setup->show();
  };
  auto notifier = std::make_shared<Notifier>(Notifier::Options{block});
  hooks.notifier = notifier;
  hooks.wideTray = [state] {
    return state->tray && TrayItem::keepsPictureWidth(state->tray->hostProgram());
  };
  // The desktop's dark preference stands for the panel's: no host tells its own colours.
  hooks.darkPanel = [state] { return state->dark; };
  running.app = AppWiring::build(root, std::move(hooks));
  if (const auto& sync = running.app->sync()) wirePairingWindow(running, sync);
  wireSetupWindow(running, locations, block, notifier);
  wireSettingsWindow(running, locations, environment);

  wireControl(running, locations, environment, err);
  wireTray(running, block, err);
  AppDelegate* app = running.app.get();
  auto quit = +[](gpointer data) -> gboolean {
    static_cast<AppDelegate*>(data)->quit();
    return G_SOURCE_CONTINUE;
  };
  guint interrupt = g_unix_signal_add(SIGINT, quit, app);
  guint terminate = g_unix_signal_add(SIGTERM, quit, app);
  // A status bar that goes away must not take the application with it.
  std::signal(SIGPIPE, SIG_IGN);

  running.app->launch();
  g_main_loop_run(running.loop);

  g_source_remove(interrupt);
  g_source_remove(terminate);
  running.control.reset();
  running.pairingRequests.reset();
  running.tray.reset();
  // The setup assistant reads through the controller; its worker is left like the controller's.
  running.setup.reset();
  running.setupWorker.reset();
  // Quitting does not wait for a reading in flight. Its child processes are stopped and reaped
  // here, and none starts after; the files it may be writing are replaced whole or not at all.
  running.app.reset();
  ChildProcess::stopAll(childGrace);
  g_main_loop_unref(running.loop);
  if (ReadingWorker::abandonedJobRunning()) {
    // A reader still inside a request must not meet the static objects being destroyed under it:
    // the process ends here, its output flushed.
    std::cout.flush();
    err.flush();
    std::fflush(nullptr);
    std::_Exit(0);
  }
  return 0;
}

}  // namespace meterwright::Application
