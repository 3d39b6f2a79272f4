#include "platform/power/WakeRefresh.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "platform/glib/MainLoopWait.h"
#include "support/FakeLogind.h"
#include "support/ManualScheduler.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::FakeLogind;
using State = PowerAssertion::State;

class WakeRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    ASSERT_TRUE(logind.ready());
    wake.onRefresh = [this](std::function<void()> done) { runs.push_back(std::move(done)); };
    wake.start(3600);
    ASSERT_TRUE(MainLoopWait::until([&] { return wake.listening(); }, 20));
  }

  // Emits the signal and waits until it has come through: a wake always starts a run here, or
  // `started` stays as it was.
  void wakeUp(bool expectRun) {
    std::size_t before = runs.size();
    logind.emitPrepareForSleep(false);
    bool ran = MainLoopWait::until([&] { return runs.size() > before; }, expectRun ? 20 : 0.3);
    EXPECT_EQ(ran, expectRun);
  }

  testing::TemporaryFolder folder;
  testing::PrivateBus bus{folder.path() / "bus"};
  EnvironmentBlock environment;
  FakeLogind logind{bus.address()};
  testing::ManualClock clock;
  testing::ManualScheduler scheduler{clock};
  WakeRefresh wake{scheduler, {environment}};
  std::vector<std::function<void()>> runs;
};

TEST_F(WakeRefreshTest, AWakeStartsOneRunThatHoldsThePowerAssertion) {
  logind.emitPrepareForSleep(true);
  wakeUp(true);
  EXPECT_TRUE(wake.busy());
  ASSERT_TRUE(MainLoopWait::until([&] { return wake.assertion().state() == State::held; }, 20));

  wakeUp(false);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(logind.inhibitCalls().size(), 1u);

  // The refresh finishes on a thread of its own; the run ends back on the main context.
  std::thread([done = runs[0]] { done(); }).join();
  ASSERT_TRUE(MainLoopWait::until([&] { return !wake.busy(); }, 20));
  EXPECT_EQ(wake.assertion().state(), State::released);
  EXPECT_FALSE(logind.inhibitorHeld(0));

  runs[0]();  // a second call changes nothing
  wakeUp(true);
  EXPECT_EQ(runs.size(), 2u);
}

TEST_F(WakeRefreshTest, TheTimerRunsEveryIntervalAndEndsAtOnceDuringARun) {
  ASSERT_TRUE(scheduler.next());
  EXPECT_EQ(*scheduler.next(), (std::pair<double, double>{3600, 900}));

  wakeUp(true);
  scheduler.advance(3600);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(scheduler.next()->first, 3600);

  runs[0]();
  ASSERT_TRUE(MainLoopWait::until([&] { return !wake.busy(); }, 20));
  scheduler.advance(3600);
  EXPECT_EQ(runs.size(), 2u);
  EXPECT_TRUE(wake.busy());
}

TEST_F(WakeRefreshTest, ARefreshThatNeverFinishesKeepsTheMachineAwakeOnlyForTheCap) {
  wakeUp(true);
  ASSERT_TRUE(MainLoopWait::until([&] { return wake.assertion().state() == State::held; }, 20));
  scheduler.advance(WakeRefresh::assertionCap);
  EXPECT_EQ(wake.assertion().state(), State::released);
  EXPECT_FALSE(logind.inhibitorHeld(0));
  EXPECT_TRUE(wake.busy());
  wakeUp(false);
}

}  // namespace
}  // namespace meterwright
