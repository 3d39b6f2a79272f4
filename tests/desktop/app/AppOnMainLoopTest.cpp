#include <gtest/gtest.h>

#include "desktop/app/AppDelegate.h"
#include "desktop/app/AppHarness.h"
#include "desktop/windows/MainThread.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"
#include "platform/power/WakeRefresh.h"
#include "support/FakeLogind.h"
#include "support/FakeNotificationServer.h"
#include "support/PrivateBus.h"

namespace meterwright {
namespace {

// The controller as the program runs it: readings come back through the GLib main context, the
// timer is a GLib timeout, and an alert goes to a notification server on a private bus.
TEST(AppOnMainLoop, ALowWindowReachesTheNotificationServer) {
  testing::TemporaryFolder folder;
  testing::PrivateBus bus(folder.path() / "bus");
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  testing::FakeNotificationServer server(bus.address(), {"body", "sound"});
  ASSERT_TRUE(server.ready());
  EnvironmentBlock environment = EnvironmentBlock::ofProcess();
  environment.set("DBUS_SESSION_BUS_ADDRESS", bus.address());
  auto notifier = std::make_shared<Notifier>(Notifier::Options{environment});

  ConfigStore::save(testing::testConfig(), folder.locations());
  auto clock = std::make_shared<SystemClock>();
  Date now = clock->now();
  auto source = std::make_shared<testing::FakeSource>();
  source->answer(testing::reading(
      now, {testing::provider("claude", "Claude", now, {testing::window(300, 95)})}));
  auto surface = std::make_shared<testing::RecordingSurface>();

  AppDelegate::Options options = testing::controllerOptions(
      folder, clock, std::make_shared<MainContextScheduler>(), MainThread::post, source);
  options.notify = [notifier](const std::string& title, const std::string& body, bool sound,
                              const std::string& identifier) {
    notifier->post(title, body, sound, identifier);
  };
  AppDelegate app(std::move(options));
  app.attach(surface);
  app.launch();

  ASSERT_TRUE(MainLoopWait::until([&] { return !server.calls().empty(); }, 20))
      << "no notification arrived";
  EXPECT_EQ(server.calls()[0].title, "Claude quota low");
  EXPECT_EQ(server.calls()[0].body, "5h window at 95% used \u2014 5% left");
  EXPECT_FALSE(app.isReading());
  EXPECT_EQ(surface->presentation.entries.size(), 1u);
  EXPECT_TRUE(surface->presentation.needsAttention);
}

// A wake from sleep takes one reading, and the wake's run ends once that reading is applied.
TEST(AppOnMainLoop, AWakeTakesOneReadingAndEndsItsRun) {
  testing::TemporaryFolder folder;
  testing::PrivateBus bus(folder.path() / "bus");
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  testing::FakeLogind logind(bus.address());
  ASSERT_TRUE(logind.ready());
  auto clock = std::make_shared<testing::ManualClock>();
  auto scheduler = std::make_shared<testing::ManualScheduler>(*clock);
  auto wake = std::make_shared<WakeRefresh>(
      *scheduler,
      WakeRefresh::Options{EnvironmentBlock{{"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address()}}});
  auto source = std::make_shared<testing::FakeSource>();
  ConfigStore::save(testing::testConfig(), folder.locations());

  AppDelegate::Options options =
      testing::controllerOptions(folder, clock, scheduler, MainThread::post, source);
  options.wake = wake;
  AppDelegate app(std::move(options));
  app.launch();
  ASSERT_TRUE(MainLoopWait::until([&] { return !app.isReading() && wake->listening(); }, 20));
  int before = source->get().reads;

  int heard = wake->wakesHeard();
  logind.emitPrepareForSleep(false);
  ASSERT_TRUE(MainLoopWait::until([&] { return wake->wakesHeard() > heard; }, 20));
  ASSERT_TRUE(MainLoopWait::until([&] { return !wake->busy(); }, 20)) << "the run never ended";
  EXPECT_EQ(source->get().reads, before + 1);
  EXPECT_FALSE(app.isReading());
}

}  // namespace
}  // namespace meterwright
