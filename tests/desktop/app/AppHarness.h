#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/config/ConfigStore.h"
#include "desktop/app/AppDelegate.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "support/TemporaryFolder.h"

namespace meterwright::testing {

// A reader whose answers the test sets through edit(). read() runs on the controller's worker
// thread; while `held` it blocks until released (or a deadline passes, so a broken test cannot
// hang).
class FakeSource final : public ReadingSource {
 public:
  struct State {
    std::optional<Snapshot> reading;
    bool acceptsManual = true;
    double wait = 0;
    std::map<std::string, SourceFailure> failures;
    bool claudeDirect = true;
    std::optional<Date> expiry;
    std::vector<std::string> forgotten;
    bool held = false;
    int reads = 0;
    // Reads that have returned.
    int finished = 0;
  };

  std::optional<Snapshot> read() override {
    std::unique_lock lock(mutex_);
    ++state_.reads;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(10), [this] { return !state_.held; });
    ++state_.finished;
    return state_.reading;
  }
  bool forceRefresh() override { return get().acceptsManual; }
  double manualRefreshAvailableIn() const override { return get().wait; }
  std::map<std::string, SourceFailure> failures() const override { return get().failures; }
  bool claudeDirect() const override { return get().claudeDirect; }
  std::optional<Date> sessionExpiry() const override { return get().expiry; }
  void forget(const std::string& id) override {
    edit([&](State& state) { state.forgotten.push_back(id); });
  }

  State get() const {
    std::lock_guard guard(mutex_);
    return state_;
  }
  template <typename Change>
  void edit(Change change) {
    {
      std::lock_guard guard(mutex_);
      change(state_);
    }
    changed_.notify_all();
  }
  void answer(std::optional<Snapshot> reading) {
    edit([&](State& state) { state.reading = std::move(reading); });
  }
  // Waits (up to a deadline) until `count` reads have begun.
  bool waitForReads(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return state_.reads >= count; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  State state_;
};

// The main thread's queue: the worker posts here, the test runs what arrived.
class MainQueue {
 public:
  void post(std::function<void()> action) {
    {
      std::lock_guard guard(mutex_);
      actions_.push_back(std::move(action));
    }
    arrived_.notify_all();
  }
  // Runs the next posted action, waiting up to a deadline for one; false when none came.
  bool runNext() {
    std::function<void()> action;
    {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_for(lock, std::chrono::seconds(10), [this] { return !actions_.empty(); }))
        return false;
      action = std::move(actions_.front());
      actions_.pop_front();
    }
    action();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> actions_;
};

class RecordingSurface final : public StatusSurface {
 public:
  void show(const StatusPresentation& presentation, const TrayMenu& menu) override {
    this->presentation = presentation;
    this->menu = menu;
    ++shows;
  }
  StatusPresentation presentation;
  TrayMenu menu;
  int shows = 0;
};

struct Posted {
  std::string title;
  std::string body;
  bool sound = false;

  bool operator==(const Posted&) const = default;
};

inline const PathExists noApplications = [](const std::string&) { return false; };

// Two providers, both shown, no icons to look up.
inline Config testConfig() {
  Config config = Config::fallback(noApplications);
  config.providers = {ProviderConfig::defaults("claude", noApplications),
                      ProviderConfig::defaults("codex", noApplications)};
  for (ProviderConfig& provider : config.providers) {
    provider.enabled = true;
    provider.icon = "no.such.symbol";
  }
  return config;
}

inline UsageWindow window(int minutes, double used, std::optional<Date> resetsAt = std::nullopt) {
  return {minutes, used, resetsAt, std::nullopt};
}

inline ProviderSnapshot provider(const std::string& id, const std::string& name, Date observed,
                                 std::vector<UsageWindow> windows) {
  return {id, name, std::nullopt, "live", observed, std::move(windows)};
}

inline Snapshot reading(Date at, std::vector<ProviderSnapshot> providers) {
  return {at, std::move(providers), std::nullopt, "direct"};
}

// What a controller under test starts from: the folder's files, no installed applications, the
// given clock, scheduler and main thread, and `source` as every reader it builds.
inline AppDelegate::Options controllerOptions(
    const TemporaryFolder& folder, std::shared_ptr<const Clock> clock,
    std::shared_ptr<Scheduler> scheduler, std::function<void(std::function<void()>)> toMainThread,
    std::shared_ptr<ReadingSource> source) {
  AppDelegate::Options options;
  options.locations = folder.locations();
  options.pathExists = noApplications;
  options.clock = std::move(clock);
  options.scheduler = std::move(scheduler);
  options.toMainThread = std::move(toMainThread);
  options.makeSource = [source](const Config&) { return source; };
  return options;
}

// A controller over fakes, launched against a configuration file in a temporary home.
class AppHarness {
 public:
  explicit AppHarness(const Config& config = testConfig()) {
    ConfigStore::save(config, folder.locations());
  }

  void launch() {
    AppDelegate::Options options = controllerOptions(
        folder, clock, scheduler,
        [this](std::function<void()> action) { main.post(std::move(action)); }, nullptr);
    // A new reader for each rebuild, so a test can tell them apart.
    options.makeSource = [this](const Config&) {
      auto source = std::make_shared<FakeSource>();
      source->edit([this](FakeSource::State& state) {
        state.reading = next;
        state.claudeDirect = claudeDirect;
      });
      sources.push_back(source);
      return source;
    };
    options.pairedDeviceCount = [this] { return pairedDevices; };
    options.notify = [this](const std::string& title, const std::string& body, bool sound,
                            const std::string&) {
      posted.push_back({title, body, sound});
    };
    options.endMainLoop = [this] { ++endedMainLoop; };
    options.loginItem = loginItem;
    options.wideTray = [this] { return wideTray; };
    options.devicePairedToWindow = [this](const PairedDevice& device) {
      windowTold.push_back(device.name);
    };
    if (withSetup) options.openSetup = [this] { ++setupShown; };
    app = std::make_unique<AppDelegate>(std::move(options));
    app->attach(surface);
    app->launch();
    settle();
  }

  FakeSource& source() { return *sources.back(); }

  // Applies the reading in flight, if any.
  void settle() {
    while (app->isReading()) ASSERT_TRUE(main.runNext()) << "the reading never came back";
  }
  // One reading, start to end, answering `snapshot`.
  void readOnce(std::optional<Snapshot> snapshot) {
    source().answer(std::move(snapshot));
    app->refresh();
    settle();
  }
  void advance(double seconds) {
    scheduler->advance(seconds);
    settle();
  }

  std::vector<std::string> menuLabels() const {
    std::vector<std::string> labels;
    for (const TrayMenuItem& item : surface->menu.items) labels.push_back(item.label);
    return labels;
  }
  bool menuShows(const std::string& label) const {
    for (const TrayMenuItem& item : surface->menu.items) {
      if (item.label == label) return true;
    }
    return false;
  }

  TemporaryFolder folder;
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>(*clock);
  MainQueue main;
  std::shared_ptr<RecordingSurface> surface = std::make_shared<RecordingSurface>();
  std::vector<std::shared_ptr<FakeSource>> sources;
  std::optional<Snapshot> next;
  bool claudeDirect = true;
  std::size_t pairedDevices = 0;
  // What the tray host is said to do with a wide picture.
  bool wideTray = false;
  std::optional<LoginItem> loginItem;
  std::vector<Posted> posted;
  std::vector<std::string> windowTold;
  // Whether the controller has a setup assistant to show, and how often it was shown.
  bool withSetup = false;
  int setupShown = 0;
  int endedMainLoop = 0;
  std::unique_ptr<AppDelegate> app;
};

}  // namespace meterwright::testing
