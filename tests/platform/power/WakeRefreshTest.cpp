#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "platform/glib/MainLoopWait.h"
#include "platform/power/WakeRefresh.h"
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
    ASSERT_TRUE(logind.ready());
    wake.onRefresh = [this](std::function<void()> done) { runs.push_back(std::move(done)); };
    wake.start(3600);
    ASSERT_TRUE(MainLoopWait::until([&] { return wake.listening(); }, 20));
  }

  // Emits the wake and waits until it has been heard; whether it started a run.
  bool wakeUp() {
    std::size_t before = runs.size();
    int heard = wake.wakesHeard();
    logind.emitPrepareForSleep(false);
    EXPECT_TRUE(MainLoopWait::until([&] { return wake.wakesHeard() > heard; }, 20));
    return runs.size() > before;
  }

  testing::TemporaryFolder folder;
  testing::PrivateBus bus{folder.path() / "bus"};
  EnvironmentBlock environment{{"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address()}};
  FakeLogind logind{bus.address()};
  testing::ManualClock clock;
  testing::ManualScheduler scheduler{clock};
  WakeRefresh wake{scheduler, {environment}};
  std::vector<std::function<void()>> runs;
};

TEST_F(WakeRefreshTest, AWakeStartsOneRunThatHoldsThePowerAssertion) {
  logind.emitPrepareForSleep(true);
  EXPECT_TRUE(wakeUp());
  EXPECT_TRUE(wake.busy());
  ASSERT_TRUE(MainLoopWait::until([&] { return wake.assertion().state() == State::held; }, 20));

  EXPECT_FALSE(wakeUp());
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(logind.inhibitCalls().size(), 1u);

  // The refresh finishes on a thread of its own; the run ends back on the main context.
  std::thread([done = runs[0]] { done(); }).join();
  ASSERT_TRUE(MainLoopWait::until([&] { return !wake.busy(); }, 20));
  EXPECT_EQ(wake.assertion().state(), State::released);
  EXPECT_TRUE(MainLoopWait::until([&] { return !logind.inhibitorHeld(0); }, 20));

  runs[0]();  // a second call changes nothing
  EXPECT_TRUE(wakeUp());
  EXPECT_EQ(runs.size(), 2u);
}

TEST_F(WakeRefreshTest, TheTimerRunsEveryIntervalAndEndsAtOnceDuringARun) {
  ASSERT_TRUE(scheduler.next());
  EXPECT_EQ(*scheduler.next(), (std::pair<double, double>{3600, 900}));

  EXPECT_TRUE(wakeUp());
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
  EXPECT_TRUE(wakeUp());
  ASSERT_TRUE(MainLoopWait::until([&] { return wake.assertion().state() == State::held; }, 20));
  scheduler.advance(WakeRefresh::assertionCap);
  EXPECT_EQ(wake.assertion().state(), State::released);
  EXPECT_TRUE(MainLoopWait::until([&] { return !logind.inhibitorHeld(0); }, 20));
  EXPECT_TRUE(wake.busy());
  EXPECT_FALSE(wakeUp());
}

}  // namespace
}  // namespace meterwright
