#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "core/encoding/Uuid.h"
#include "core/settings/UserDefaults.h"
#include "desktop/app/AppDelegate.h"
#include "desktop/app/AppHarness.h"
#include "desktop/app/ReadingWorker.h"
#include "desktop/app/TrayImages.h"
#include "desktop/render/Render.h"

namespace meterwright {
namespace {

using testing::AppHarness;
using testing::Posted;
using testing::provider;
using testing::reading;
using testing::testConfig;
using testing::window;

// Claude's five-hour window at `used` percent, resetting at `resetsAt`.
Snapshot claudeAt(Date now, double used, Date resetsAt) {
  return reading(now, {provider("claude", "Claude", now, {window(300, used, resetsAt)})});
}

TEST(AppDelegate, TheSetupAssistantOpensShortlyAfterAFirstLaunchAndFromTheMenu) {
  for (bool completedBefore : {false, true}) {
    AppHarness harness;
    harness.withSetup = true;
    UserDefaults(harness.folder.locations().userDefaultsFile())
        .set("setupCompleted.v1", completedBefore);
    harness.launch();
    harness.advance(0.5);
    EXPECT_EQ(harness.setupShown, 0);
    harness.advance(0.1);
    EXPECT_EQ(harness.setupShown, completedBefore ? 0 : 1) << completedBefore;
    // The first reading does not wait for the window.
    EXPECT_EQ(harness.source().get().reads, 1);

    int before = harness.setupShown;
    harness.app->perform(TrayAction::openSetup);
    EXPECT_EQ(harness.setupShown, before + 1);
  }
}

TEST(AppDelegate, TickDuringAReadingStartsNothingAndCompletesAtOnce) {
  AppHarness harness;
  harness.launch();
  harness.source().edit([](auto& s) { s.held = true; });
  harness.app->refresh();
  ASSERT_TRUE(harness.source().waitForReads(2));

  harness.scheduler->advance(60);  // a tick while the reading is in flight
  bool completed = false;
  harness.app->refresh([&] { completed = true; });
  EXPECT_TRUE(completed);

  harness.source().edit([](auto& s) { s.held = false; });
  harness.settle();
  EXPECT_EQ(harness.source().get().reads, 2);
  EXPECT_FALSE(harness.app->isReading());
}

TEST(AppDelegate, TimerRunsEveryRefreshIntervalButNeverUnderFiveSeconds) {
  struct Case {
    double refreshSeconds;
    double timer;
  };
  for (Case c : {Case{2, 5}, Case{5, 5}, Case{90, 90}}) {
    AppHarness harness;
    harness.launch();
    Config config = harness.app->config();
    config.refreshSeconds = c.refreshSeconds;
    harness.app->apply(config);
    harness.settle();
    ASSERT_TRUE(harness.scheduler->next());
    EXPECT_EQ(harness.scheduler->next()->first, c.timer) << c.refreshSeconds;

    int before = harness.source().get().reads;
    harness.advance(c.timer);
    EXPECT_EQ(harness.source().get().reads, before + 1) << "a tick takes a reading";
  }
}

TEST(AppDelegate, QuotaLowAlertsOncePerWindowCycle) {
  AppHarness harness;
  harness.launch();
  Date now = harness.clock->now();
  Date reset = addingSeconds(now, 7200);

  harness.readOnce(claudeAt(now, 85, reset));
  EXPECT_EQ(harness.posted,
            (std::vector<Posted>{{"Claude quota low",
                                  "5h window at 85% used \u2014 15% left, resets in 2h", true}}));

  harness.readOnce(claudeAt(now, 90, reset));
  EXPECT_EQ(harness.posted.size(), 1u) << "same cycle";

  Date nextReset = addingSeconds(reset, 18000);
  harness.readOnce(claudeAt(now, 10, nextReset));
  harness.readOnce(claudeAt(now, 86, nextReset));
  EXPECT_EQ(harness.posted.size(), 2u) << "a new cycle alerts again";
}

TEST(AppDelegate, SilencedAlertsPostNothing) {
  struct Case {
    const char* name;
    bool notifications;
    int threshold;
  };
  for (Case c : {Case{"notifications off", false, 20}, Case{"threshold 0", true, 0}}) {
    Config config = testConfig();
    config.notifications = c.notifications;
    config.warnBelowRemainingPercent = c.threshold;
    AppHarness harness(config);
    harness.launch();
    Date now = harness.clock->now();
    harness.source().edit([&](auto& s) { s.expiry = addingSeconds(now, 600); });
    harness.readOnce(claudeAt(now, 99, addingSeconds(now, 60)));
    harness.app->onSyncEvents({SyncEvent{SyncEvent::Exhausted{"claude", "Claude", "5h"}}});
    EXPECT_TRUE(harness.posted.empty()) << c.name;
  }
}

TEST(AppDelegate, SignInExpiryWarnsFrom2700SecondsOnceForEachExpiry) {
  struct Case {
    double secondsLeft;
    bool claudeDirect;
    std::size_t alerts;
  };
  for (Case c : {Case{2700, true, 1}, Case{2701, true, 0}, Case{0, true, 0}, Case{600, false, 0}}) {
    AppHarness harness;
    harness.claudeDirect = c.claudeDirect;
    harness.launch();
    Date now = harness.clock->now();
    harness.source().edit([&](auto& s) { s.expiry = addingSeconds(now, c.secondsLeft); });
    harness.readOnce(std::nullopt);
    harness.readOnce(std::nullopt);
    ASSERT_EQ(harness.posted.size(), c.alerts) << c.secondsLeft << " s, direct " << c.claudeDirect;
    if (c.alerts) {
      EXPECT_EQ(harness.posted[0].title, "Claude Code sign-in expires in 45m");
    }
  }
}

TEST(AppDelegate, RefusedManualRefreshShowsTheWaitForTwoMinutes) {
  AppHarness harness;
  harness.launch();
  harness.source().edit([](auto& s) {
    s.acceptsManual = false;
    s.wait = 90;
  });
  harness.app->forceRefresh();
  harness.settle();
  const std::string tooSoon = "Asked too recently \u2014 the next request can go out in 1m.";
  EXPECT_TRUE(harness.menuShows(tooSoon));

  harness.clock->advance(119);
  harness.readOnce(std::nullopt);
  EXPECT_TRUE(harness.menuShows(tooSoon));
  harness.clock->advance(1);
  harness.readOnce(std::nullopt);
  EXPECT_FALSE(harness.menuShows(tooSoon));

  // Refused without a wait: the provider itself is asking for quiet.
  harness.source().edit([](auto& s) { s.wait = 0; });
  harness.app->forceRefresh();
  harness.settle();
  EXPECT_TRUE(harness.menuShows("A provider is asking for quiet right now."));
}

TEST(AppDelegate, AcceptedManualRefreshDescribesTheReadingThatFollows) {
  Date now = testing::ManualClock().now();
  Snapshot both = reading(now, {provider("claude", "Claude", now, {window(300, 10)}),
                                provider("codex", "Codex", now, {window(300, 10)})});
  struct Case {
    const char* name;
    std::optional<Snapshot> snapshot;
    std::map<std::string, SourceFailure> failures;
    std::string outcome;
  };
  SourceFailure noAnswer{"App-server did not answer", "Run codex login."};
  std::vector<Case> cases{
      {"all", both, {}, "Every provider answered."},
      {"none", std::nullopt, {}, "No provider is set up yet."},
      {"one failing",
       both,
       {{"codex", noAnswer}},
       "1 answered \u00B7 Codex: app-server did not answer"},
      {"failing unseen",
       std::nullopt,
       {{"codex", noAnswer}, {"claude", {"Signed out", ""}}},
       "Claude: signed out \u00B7 Codex: app-server did not answer"},
  };
  for (const Case& c : cases) {
    AppHarness harness;
    harness.launch();
    harness.source().edit([&](auto& s) { s.failures = c.failures; });
    harness.source().answer(c.snapshot);
    harness.app->forceRefresh();
    harness.settle();
    EXPECT_TRUE(harness.menuShows(c.outcome)) << c.name;
  }
}

TEST(AppDelegate, TrayPictureIsSquareWideOnlyForAWideHostAndTheAppIconWithoutAReading) {
  Date now = testing::ManualClock().now();
  Snapshot claude = claudeAt(now, 40, addingSeconds(now, 3600));
  const std::vector<TrayPixmap> appIcon = TrayImages::appIcon({22, 44});
  enum class Shape { square, wide, appIcon };
  struct Case {
    const char* name;
    std::string style;
    std::optional<Snapshot> snapshot;
    bool wideHost;
    Shape shape;
  };
  for (const Case& c : {Case{"detailed", "detailed", claude, false, Shape::square},
                        Case{"detailed, wide host", "detailed", claude, true, Shape::wide},
                        Case{"text", "text", claude, true, Shape::appIcon},
                        Case{"no reading", "detailed", std::nullopt, false, Shape::appIcon}}) {
    Config config = testConfig();
    config.menuBarStyle = c.style;
    AppHarness harness(config);
    harness.wideTray = c.wideHost;
    harness.launch();
    harness.readOnce(c.snapshot);
    const StatusPresentation& shown = harness.surface->presentation;
    // The text stays in the title and the tooltip whatever the picture.
    EXPECT_EQ(shown.title, Render::title(c.snapshot, harness.app->config(), now)) << c.name;
    ASSERT_EQ(shown.pixmaps.size(), 2u) << c.name;
    if (c.shape == Shape::appIcon) {
      EXPECT_EQ(shown.pixmaps, appIcon) << c.name;
      continue;
    }
    EXPECT_NE(shown.pixmaps, appIcon) << c.name;
    for (std::size_t i = 0; i < 2; ++i) {
      const TrayPixmap& pixmap = shown.pixmaps[i];
      EXPECT_EQ(pixmap.height, 22 * int(i + 1)) << c.name;
      if (c.shape == Shape::square) {
        EXPECT_EQ(pixmap.width, pixmap.height) << c.name;
      } else {
        EXPECT_GT(pixmap.width, 2 * pixmap.height) << c.name;
      }
      EXPECT_EQ(pixmap.pixels.size(), std::size_t(pixmap.width) * std::size_t(pixmap.height));
    }
    EXPECT_EQ(shown.tooltip, "Claude: 5h 40%") << c.name;
  }
}

// The host is known only once the item registered, usually after the first picture.
TEST(AppDelegate, PictureIsDrawnOnceATrayIsAttachedAndRedrawnWhenTheHostKeepsItsWidth) {
  AppHarness harness;
  harness.launch();
  harness.app->attach(nullptr);
  Date now = harness.clock->now();
  harness.readOnce(claudeAt(now, 40, addingSeconds(now, 3600)));
  EXPECT_TRUE(harness.app->presentation().pixmaps.empty());
  EXPECT_FALSE(harness.app->presentation().tooltip.empty());

  harness.app->attach(harness.surface);
  ASSERT_EQ(harness.surface->presentation.pixmaps.size(), 2u);
  EXPECT_EQ(harness.surface->presentation.pixmaps[0].width, 22);
  harness.wideTray = true;
  harness.app->attach(harness.surface);
  ASSERT_FALSE(harness.surface->presentation.pixmaps.empty());
  EXPECT_GT(harness.surface->presentation.pixmaps[0].width, 44);
}

TEST(AppDelegate, StartAtLoginFollowsTheAutostartEntry) {
  AppHarness harness;
  harness.loginItem.emplace(harness.folder.path() / "autostart", "/usr/bin/meterwright");
  harness.launch();
  auto checkMark = [&] {
    for (const TrayMenuItem& item : harness.surface->menu.items) {
      if (item.action == TrayAction::toggleLaunchAtLogin) return item.checked;
    }
    return std::optional<bool>();
  };
  EXPECT_EQ(checkMark(), false);
  harness.app->perform(TrayAction::toggleLaunchAtLogin);
  EXPECT_EQ(harness.loginItem->status(), LoginItem::Status::enabled);
  EXPECT_EQ(checkMark(), true);
  harness.app->perform(TrayAction::toggleLaunchAtLogin);
  EXPECT_EQ(harness.loginItem->status(), LoginItem::Status::notRegistered);
  EXPECT_EQ(checkMark(), false);
}

TEST(AppDelegate, StaleReadingTooltipSaysNoProviderAnswered) {
  AppHarness harness;
  harness.launch();
  Date old = addingSeconds(harness.clock->now(), -21 * 60);
  harness.readOnce(claudeAt(old, 40, addingSeconds(old, 7200)));
  EXPECT_EQ(harness.surface->presentation.tooltip,
            "No provider has answered recently \u2014 open Settings \u2192 Connections.");
}

TEST(AppDelegate, ApplyingSettingsRebuildsReadersOnlyWhenTheirSetupChanged) {
  struct Case {
    const char* name;
    std::function<void(Config&)> change;
    bool rebuilt;
    std::vector<std::string> forgotten = {};
  };
  std::vector<Case> cases{
      {"poll interval", [](Config& c) { c.providers[0].pollSeconds += 60; }, true},
      {"claude direct", [](Config& c) { c.claudeDirect = !c.claudeDirect; }, true},
      {"provider added", [](Config& c) { c.providers.push_back(c.providers[0]); }, true},
      {"provider disabled", [](Config& c) { c.providers[1].enabled = false; }, true, {"codex"}},
      {"style only", [](Config& c) { c.menuBarStyle = "text"; }, false},
  };
  for (const Case& c : cases) {
    AppHarness harness;
    harness.launch();
    std::size_t built = harness.sources.size();
    std::shared_ptr<testing::FakeSource> before = harness.sources.back();
    Config config = harness.app->config();
    c.change(config);
    harness.app->apply(config);
    harness.settle();
    EXPECT_EQ(harness.sources.size(), built + (c.rebuilt ? 1 : 0)) << c.name;
    EXPECT_EQ(harness.app->source(), harness.sources.back()) << c.name;
    EXPECT_EQ(harness.app->config(), config) << c.name;
    // Both the old reader and its replacement drop what they kept of a disabled provider.
    EXPECT_EQ(before->get().forgotten, c.forgotten) << c.name;
    EXPECT_EQ(harness.source().get().forgotten, c.forgotten) << c.name;
  }
}

TEST(AppDelegate, GarbageConfigOnReloadIsTheFirstMenuLineAndStaysOnDisk) {
  AppHarness harness;
  harness.launch();
  auto file = ConfigStore::url(harness.folder.locations());
  testing::writeFile(file, "{ not json");
  harness.app->reloadAndRefresh();
  harness.settle();

  ASSERT_FALSE(harness.surface->menu.items.empty());
  EXPECT_EQ(harness.surface->menu.items[0].kind, TrayMenuItem::Kind::smallText);
  EXPECT_EQ(harness.surface->menu.items[0].label, "\u26A0 config invalid \u2014 using defaults");
  EXPECT_EQ(harness.app->config(), Config::fallback(testing::noApplications));

  harness.app->toggleTouchBar();
  harness.app->reloadAndRefresh();
  harness.settle();
  EXPECT_EQ(testing::readFile(file), "{ not json");
}

TEST(AppDelegate, ToggleTouchBarKeepsTheRestOfTheFileButTheDisabledMenuItemChangesNothing) {
  AppHarness harness;
  harness.launch();
  auto file = ConfigStore::url(harness.folder.locations());
  std::string before = testing::readFile(file);
  Config expected = harness.app->config();
  harness.app->perform(TrayAction::toggleTouchBar);
  EXPECT_EQ(harness.app->config(), expected);
  EXPECT_EQ(testing::readFile(file), before);

  expected.touchBar = !expected.touchBar;
  harness.app->toggleTouchBar();
  EXPECT_EQ(harness.app->config(), expected);
  harness.app->reloadAndRefresh();
  harness.settle();
  EXPECT_EQ(harness.app->config(), expected) << "written to the file";
}

TEST(AppDelegate, SyncEventsPostAllButOfflineAndUnspentResets) {
  AppHarness harness;
  harness.launch();
  std::vector<SyncEvent> events{
      {SyncEvent::ProviderOffline{"codex", "Codex", "no answer"}},
      {SyncEvent::WindowReset{"claude", "Claude", "5h", false}},
      {SyncEvent::WindowReset{"claude", "Claude", "7d", true}},
      {SyncEvent::RunningLow{"claude", "Claude", "5h", 10}},
  };
  harness.app->onSyncEvents(events);
  EXPECT_EQ(harness.posted, (std::vector<Posted>{{events[2].title(), events[2].body(), true},
                                                 {events[3].title(), events[3].body(), true}}));
}

TEST(AppDelegate, PairedDeviceIsAnnouncedAndCounted) {
  AppHarness harness;
  harness.launch();
  harness.pairedDevices = 1;
  harness.app->onDevicePaired({Uuid::random(), "Ada's Phone", "iOS", harness.clock->now(), {}});
  EXPECT_EQ(harness.windowTold, std::vector<std::string>{"Ada's Phone"});
  EXPECT_EQ(harness.posted,
            (std::vector<Posted>{{"Ada's Phone is paired",
                                  "It will follow this computer's usage from now on.", true}}));
  EXPECT_TRUE(harness.menuShows("Synced Devices (1)\u2026"));
}

// A reader that hangs must not hold up quitting: the controller goes at once, and the reading
// that ends later touches nothing of it.
TEST(AppDelegate, QuitStopsTheTimerAndEndsAtOnceDuringAHeldReadingDroppingItsResult) {
  AppHarness harness;
  harness.launch();
  std::shared_ptr<testing::FakeSource> source = harness.sources.back();
  source->edit([](auto& s) { s.held = true; });
  harness.app->refresh();
  ASSERT_TRUE(source->waitForReads(2));
  int shows = harness.surface->shows;
  int finishedBefore = source->get().finished;

  auto teardown = std::async(std::launch::async, [&] {
    harness.app->perform(TrayAction::quit);
    harness.app.reset();
  });
  // Well inside the held reader's own ten-second limit.
  bool ended = teardown.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  int finishedAtEnd = source->get().finished;
  source->edit([](auto& s) { s.held = false; });
  teardown.wait();
  ASSERT_TRUE(ended) << "quitting waited for the reading in flight";
  EXPECT_EQ(finishedAtEnd, finishedBefore);
  EXPECT_EQ(harness.endedMainLoop, 1);
  EXPECT_EQ(harness.scheduler->pending(), 0u) << "the timer outlived quitting";

  ASSERT_TRUE(harness.main.runNext()) << "the abandoned reading never ended";
  EXPECT_EQ(harness.surface->shows, shows);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadingWorker::abandonedJobRunning() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_FALSE(ReadingWorker::abandonedJobRunning());
}

}  // namespace
}  // namespace meterwright
