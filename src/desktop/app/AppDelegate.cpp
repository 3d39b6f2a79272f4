#include "desktop/app/AppDelegate.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/config/ConfigStore.h"
#include "core/encoding/Uuid.h"
#include "core/format/Format.h"
#include "core/providers/PollingPolicy.h"
#include "core/settings/UserDefaults.h"
#include "core/sync/SyncCoordinator.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/text/TextCase.h"
#include "desktop/app/QuotaAlerts.h"
#include "desktop/app/StatusPresenter.h"
#include "desktop/app/TouchBarPreference.h"
#include "desktop/app/TrayImages.h"
#include "desktop/render/MenuBarImage.h"
#include "desktop/render/SquareStatusImage.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "desktop/touchbar/TouchBarPrivate.h"
#include "platform/power/WakeRefresh.h"

namespace meterwright {

namespace {

constexpr double shortestTimer = 5;
constexpr double wakeInterval = 3600;
constexpr double cloudIdleWait = 20;
constexpr double setupDelay = 0.6;
constexpr const char* setupCompletedKey = "setupCompleted.v1";

// Whether a configuration needs new readers: the composite source is built for one set of poll
// intervals, one Claude setting and one set of shown providers (only those are polled).
bool needsNewReaders(const Config& old, const Config& updated) {
  if (old.providers.size() != updated.providers.size()) return true;
  if (old.claudeDirect != updated.claudeDirect) return true;
  for (std::size_t i = 0; i < old.providers.size(); ++i) {
    if (old.providers[i].pollSeconds != updated.providers[i].pollSeconds) return true;
    if (old.providers[i].enabled != updated.providers[i].enabled) return true;
  }
  return false;
}

}  // namespace

AppDelegate::AppDelegate(Options options)
    : options_(std::move(options)),
      config_(Config::fallback(options_.pathExists)),
      alive_(std::make_shared<AppDelegate*>(this)) {
  source_ = options_.makeSource(config_);
  updateStatusItem();
  rebuildMenu();
}

AppDelegate::~AppDelegate() {
  if (timer_) options_.scheduler->cancel(*timer_);
  if (outcomeExpiry_) options_.scheduler->cancel(*outcomeExpiry_);
  alive_.reset();
  if (options_.sync) {
    options_.sync->onEvents = nullptr;
    options_.sync->onDevicePaired = nullptr;
  }
}

Date AppDelegate::now() const {
  return options_.clock->now();
}

void AppDelegate::launch() {
  std::weak_ptr<AppDelegate*> alive = alive_;
  if (options_.sync) {
    // publish() runs here on the main thread, so its events arrive here too; the paired-device
    // callback is handed over by the manager.
    options_.sync->onEvents = [alive](const std::vector<SyncEvent>& events) {
      if (auto self = alive.lock()) (*self)->onSyncEvents(events);
    };
    options_.sync->onDevicePaired = [alive](const PairedDevice& device) {
      if (auto self = alive.lock()) (*self)->onDevicePaired(device);
    };
    options_.sync->start();
  }
  if (options_.wake) {
    auto toMain = options_.toMainThread;
    options_.wake->onRefresh = [alive, toMain](std::function<void()> done) {
      toMain([alive, done = std::move(done)] {
        auto self = alive.lock();
        if (!self) return done();
        (*self)->refresh([alive, done] {
          auto self = alive.lock();
          auto cloud = self && (*self)->options_.sync ? (*self)->options_.sync->cloud() : nullptr;
          if (!cloud || !cloud->isAvailable()) return done();
          // The machine stays awake until the reading has left through the cloud folder too.
          // Waited for on the worker, which a reading that comes meanwhile queues behind.
          (*self)->worker_.run([cloud, done] {
            cloud->waitUntilIdle(cloudIdleWait);
            done();
          });
        });
      });
    };
    options_.wake->start(wakeInterval);
  }
  loadConfig();
  restartTimer();
  source_ = options_.makeSource(config_);
  showState();
  // A user who never closed the setup assistant sees it again, once the tray item is settled.
  if (options_.openSetup &&
      !UserDefaults(options_.locations.userDefaultsFile()).boolean(setupCompletedKey)) {
    options_.scheduler->after(setupDelay, [alive] {
      if (auto self = alive.lock()) (*self)->options_.openSetup();
    });
  }
  refresh();
}

void AppDelegate::attach(std::shared_ptr<StatusSurface> surface) {
  surface_ = std::move(surface);
  if (!surface_) return;
  updateStatusItem();
  surface_->show(presentation_, menu_);
}

void AppDelegate::perform(TrayAction action) {
  switch (action) {
    case TrayAction::refreshNow:
      forceRefresh();
      break;
    case TrayAction::openPairing:
      if (options_.openPairing) options_.openPairing();
      break;
    case TrayAction::openSetup:
      if (options_.openSetup) options_.openSetup();
      break;
    case TrayAction::reloadConfig:
      reloadAndRefresh();
      break;
    case TrayAction::toggleLaunchAtLogin:
      toggleLaunchAtLogin();
      break;
    case TrayAction::toggleTouchBar:
      // The item is offered disabled where there is no Touch Bar; a host that sends it anyway
      // changes nothing.
      if (TouchBarPrivate::available()) toggleTouchBar();
      break;
    case TrayAction::quit:
      quit();
      break;
    case TrayAction::openSettings:
      if (options_.openSettings) options_.openSettings();
      break;
    case TrayAction::none:
      break;
  }
}

void AppDelegate::loadConfig() {
  ConfigLoadResult loaded = ConfigStore::load(options_.locations, options_.pathExists);
  config_ = std::move(loaded.config);
  configError_ = std::move(loaded.error);
}

void AppDelegate::restartTimer() {
  if (timer_) options_.scheduler->cancel(*timer_);
  timer_.reset();
  timerInterval_ = config_.refreshSeconds >= shortestTimer ? config_.refreshSeconds : shortestTimer;
  tick();
}

// Arms the next tick; a tick that fires arms the one after it, then reads.
void AppDelegate::tick() {
  std::weak_ptr<AppDelegate*> alive = alive_;
  timer_ = options_.scheduler->after(
      timerInterval_,
      [alive] {
        auto self = alive.lock();
        if (!self) return;
        (*self)->tick();
        (*self)->refresh();
      },
      1);
}

void AppDelegate::refresh(std::function<void()> then) {
  if (isReading_) {
    if (then) then();
    return;
  }
  isReading_ = true;
  std::weak_ptr<AppDelegate*> alive = alive_;
  worker_.run(
      [source = source_, toMain = options_.toMainThread, alive, then = std::move(then)]() mutable {
        std::optional<Snapshot> result = source->read();
        toMain([alive, result = std::move(result), then = std::move(then)]() mutable {
          if (auto self = alive.lock()) {
            (*self)->finishReading(std::move(result), then);
          } else if (then) {
            then();
          }
        });
      });
}

void AppDelegate::showState() {
  entries_ = DisplayEntry::build(snapshot_, config_, now());
  updateStatusItem();
  rebuildMenu();
}

void AppDelegate::finishReading(std::optional<Snapshot> result, const std::function<void()>& then) {
  isReading_ = false;
  snapshot_ = std::move(result);
  entries_ = DisplayEntry::build(snapshot_, config_, now());
  updateStatusItem();
  touchBar_.update(entries_, config_);
  if (snapshot_ && options_.sync) options_.sync->publish(*snapshot_, config_);
  checkThresholds();
  checkSessionExpiry();
  if (manualRefreshPending_) {
    manualRefreshPending_ = false;
    showManualOutcome(describeRefresh());
  }
  rebuildMenu();
  if (then) then();
}

void AppDelegate::forceRefresh() {
  if (source_->forceRefresh()) {
    manualRefreshPending_ = true;
  } else {
    double wait = source_->manualRefreshAvailableIn();
    std::string outcome =
        wait <= 0 ? desktop::L("menu.refresh.quiet", "A provider is asking for quiet right now.")
                  : desktop::L("menu.refresh.tooSoon",
                               "Asked too recently \u2014 the next request can go out in %@.",
                               Format::relative(wait));
    showManualOutcome(std::move(outcome));
    rebuildMenu();
  }
  refresh();
}

void AppDelegate::showManualOutcome(std::string outcome) {
  lastManualRefresh_ = AppMenu::ManualOutcome{now(), std::move(outcome)};
  if (outcomeExpiry_) options_.scheduler->cancel(*outcomeExpiry_);
  std::weak_ptr<AppDelegate*> alive = alive_;
  outcomeExpiry_ = options_.scheduler->after(AppMenu::manualOutcomeSeconds, [alive] {
    auto self = alive.lock();
    if (!self) return;
    (*self)->outcomeExpiry_.reset();
    // Dropped rather than left to the menu's age check: the timer and the clock need not agree
    // to the millisecond.
    (*self)->lastManualRefresh_.reset();
    (*self)->rebuildMenu();
  });
}

std::string AppDelegate::describeRefresh() const {
  std::map<std::string, SourceFailure> failures = source_->failures();
  int answered = 0;
  for (const ProviderConfig& provider : config_.enabledProviders()) {
    const ProviderSnapshot* reading = snapshot_ ? snapshot_->provider(provider.id) : nullptr;
    if (reading && !failures.contains(reading->id)) ++answered;
  }
  if (failures.empty()) {
    return answered == 0 ? desktop::L("menu.refresh.noneSetUp", "No provider is set up yet.")
                         : desktop::L("menu.refresh.allAnswered", "Every provider answered.");
  }
  std::string text;
  for (const auto& [id, failure] : failures) {
    const ProviderSnapshot* reading = snapshot_ ? snapshot_->provider(id) : nullptr;
    if (!text.empty()) text += " \u00B7 ";
    text += (reading ? reading->name : TextCase::capitalized(id)) + ": " +
            TextCase::lowercased(failure.summary);
  }
  if (answered > 0) text = std::to_string(answered) + " answered \u00B7 " + text;
  return text;
}

void AppDelegate::updateStatusItem() {
  Date at = now();
  presentation_ = StatusPresenter::describe(snapshot_, entries_, config_,
                                            source_ ? source_->manualRefreshAvailableIn() : 0, at);
  // Without a tray nothing is drawn: a headless service never loads the fonts.
  if (!surface_) return;
  ImageKey key;
  // With nothing to draw (the text style, no reading yet) the item still shows a picture: the
  // hosts here show no text label in its place.
  key.appIcon = !StatusPresenter::showsImage(entries_, config_);
  if (!key.appIcon) {
    key.entries = entries_;
    key.config = config_;
    key.stale = snapshot_ && AppMenu::isStale(*snapshot_, config_, at);
    key.dark = options_.darkPanel && options_.darkPanel();
    key.wide = options_.wideTray && options_.wideTray();
    for (const DisplayEntry& entry : entries_) {
      for (const UsageWindow& window : entry.windows) {
        key.figures.push_back(Format::headline(window, config_.metric, at));
      }
    }
  }
  if (key != imageKey_) {
    if (key.appIcon) {
      pixmaps_ = TrayImages::appIcon(options_.pixmapHeights);
    } else {
      RenderContext context{.dark = key.dark, .now = at, .icons = options_.icons};
      auto image = key.wide ? MenuBarImage::make(entries_, config_, key.stale, context)
                            : SquareStatusImage::make(entries_, config_, key.stale, context);
      pixmaps_ =
          image ? TrayImages::pixmaps(*image, options_.pixmapHeights) : std::vector<TrayPixmap>{};
    }
    imageKey_ = std::move(key);
  }
  presentation_.pixmaps = pixmaps_;
}

void AppDelegate::rebuildMenu() {
  AppMenu::State state{
      .config = config_,
      .configError = configError_,
      .snapshot = snapshot_,
      .entries = entries_,
      .failures = source_->failures(),
      .claudeDirect = source_->claudeDirect(),
      .sessionExpiry = source_->sessionExpiry(),
      .manualRefreshAvailableIn = source_->manualRefreshAvailableIn(),
      .lastManualRefresh = lastManualRefresh_,
      .pairedDevices = options_.pairedDeviceCount ? options_.pairedDeviceCount() : 0,
      .startsAtLogin = options_.loginItem ? std::optional<bool>(options_.loginItem->status() ==
                                                                LoginItem::Status::enabled)
                                          : std::nullopt,
      .now = now()};
  menu_ = AppMenu::build(state);
  if (surface_) surface_->show(presentation_, menu_);
}

bool AppDelegate::alertsWanted() const {
  return config_.notifications && config_.warnBelowRemainingPercent >= 1;
}

void AppDelegate::checkThresholds() {
  for (const QuotaAlerts::Alert& alert : QuotaAlerts::check(snapshot_, config_, now(), alerted_)) {
    notify(alert.title, alert.body);
  }
}

void AppDelegate::checkSessionExpiry() {
  if (!alertsWanted() || !source_->claudeDirect()) return;
  std::optional<Date> expiry = source_->sessionExpiry();
  std::optional<double> left = AppMenu::signInWarning(expiry, now());
  if (!left) return;
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(expiry->time_since_epoch());
  if (!warnedSessionExpiries_.insert(seconds.count()).second) return;
  notify(desktop::L("menu.signInExpires", "Claude Code sign-in expires in %@",
                    Format::relative(*left)),
         PollingPolicy::sessionRenewalHint());
}

void AppDelegate::onSyncEvents(const std::vector<SyncEvent>& events) {
  if (!alertsWanted()) return;
  for (const SyncEvent& event : events) {
    if (event.as<SyncEvent::ProviderOffline>()) continue;
    if (auto reset = event.as<SyncEvent::WindowReset>(); reset && !reset->wasSpent) continue;
    notify(event.title(), event.body());
  }
}

void AppDelegate::onDevicePaired(const PairedDevice& device) {
  if (options_.devicePairedToWindow) options_.devicePairedToWindow(device);
  if (config_.notifications) {
    notify(
        desktop::L("menu.devicePaired.title", "%@ is paired", device.name),
        desktop::L("menu.devicePaired.body", "It will follow this computer's usage from now on."));
  }
  rebuildMenu();
}

void AppDelegate::notify(const std::string& title, const std::string& body) {
  if (options_.notify) {
    options_.notify(title, body, config_.notificationSound, Uuid::random().text());
  }
}

void AppDelegate::apply(Config config) {
  bool rebuild = needsNewReaders(config_, config);
  for (const ProviderConfig& provider : config.providers) {
    if (!provider.enabled) source_->forget(provider.id);
  }
  config_ = std::move(config);
  if (rebuild) {
    source_ = options_.makeSource(config_);
    // The new reader starts from the stored reading, which still holds them.
    for (const ProviderConfig& provider : config_.providers) {
      if (!provider.enabled) source_->forget(provider.id);
    }
  }
  restartTimer();
  showState();
  refresh();
}

void AppDelegate::reloadAndRefresh() {
  loadConfig();
  restartTimer();
  // Shown at once: a reading in flight would otherwise keep an error out of the menu until the
  // next one.
  showState();
  source_->forceRefresh();
  refresh();
}

void AppDelegate::toggleLaunchAtLogin() {
  if (!options_.loginItem) return;
  bool enabled = options_.loginItem->status() == LoginItem::Status::enabled;
  // A failure (an entry of that name that is not ours, an unwritable folder) leaves the check
  // mark as the file says; there is no system settings page to send the user to.
  options_.loginItem->set(!enabled);
  rebuildMenu();
}

void AppDelegate::toggleTouchBar() {
  config_.touchBar = !config_.touchBar;
  touchBar_.update(entries_, config_);
  persistTouchBarPreference();
  rebuildMenu();
}

void AppDelegate::persistTouchBarPreference() {
  TouchBarPreference::persist(ConfigStore::url(options_.locations), config_.touchBar);
}

void AppDelegate::revokeDevice(const Uuid& deviceID) {
  if (options_.sync) {
    options_.sync->publisher()->revoke(deviceID);
    options_.sync->coordinator()->revoke(deviceID);
  }
  rebuildMenu();
}

void AppDelegate::quit() {
  if (timer_) options_.scheduler->cancel(*timer_);
  timer_.reset();
  if (options_.sync) options_.sync->stop();
  if (options_.endMainLoop) options_.endMainLoop();
}

}  // namespace meterwright
