#include <gtest/gtest.h>

#include <optional>

#include "platform/glib/MainLoopWait.h"
#include "platform/power/PowerAssertion.h"
#include "support/FakeLogind.h"
#include "support/ManualScheduler.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::FakeLogind;
using State = PowerAssertion::State;

// A private bus stands in for the system bus, with a fake logind on it.
class PowerAssertionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
  }

  bool settles(PowerAssertion& assertion) {
    return MainLoopWait::until([&] { return assertion.state() != State::requested; }, 20);
  }
  // The descriptor that travelled through the bus is also closed by the bus's own copies, which
  // go a moment after ours.
  bool letGo(FakeLogind& logind, std::size_t call) {
    return MainLoopWait::until([&] { return !logind.inhibitorHeld(call); }, 20);
  }

  testing::TemporaryFolder folder;
  testing::PrivateBus bus{folder.path() / "bus"};
  EnvironmentBlock environment;
  testing::ManualClock clock;
  testing::ManualScheduler scheduler{clock};
};

TEST_F(PowerAssertionTest, InhibitsSleepUntilReleased) {
  FakeLogind logind(bus.address());
  ASSERT_TRUE(logind.ready());
  PowerAssertion assertion(scheduler, {environment});
  assertion.take(90);
  ASSERT_TRUE(settles(assertion));
  EXPECT_EQ(assertion.state(), State::held);
  EXPECT_EQ(logind.inhibitCalls(),
            (std::vector<std::vector<std::string>>{
                {"sleep", "Meterwright", "Meterwright is publishing a reading", "block"}}));
  EXPECT_TRUE(logind.inhibitorHeld(0));

  assertion.release();
  EXPECT_EQ(assertion.state(), State::released);
  EXPECT_TRUE(letGo(logind, 0));
  EXPECT_EQ(scheduler.pending(), 0u);
  assertion.release();
  EXPECT_EQ(assertion.state(), State::released);
}

TEST_F(PowerAssertionTest, EachTakeRestartsTheCapOfTheOneInhibitor) {
  FakeLogind logind(bus.address());
  PowerAssertion assertion(scheduler, {environment});
  assertion.take(90);
  ASSERT_TRUE(settles(assertion));
  scheduler.advance(60);
  assertion.take(90);
  scheduler.advance(89);
  EXPECT_EQ(assertion.state(), State::held);
  EXPECT_TRUE(logind.inhibitorHeld(0));
  scheduler.advance(1);
  EXPECT_EQ(assertion.state(), State::released);
  EXPECT_TRUE(letGo(logind, 0));
  EXPECT_EQ(logind.inhibitCalls().size(), 1u);

  // After the cap, a take asks again.
  assertion.take(90);
  ASSERT_TRUE(settles(assertion));
  EXPECT_EQ(logind.inhibitCalls().size(), 2u);
  EXPECT_TRUE(logind.inhibitorHeld(1));
}

TEST_F(PowerAssertionTest, AReleaseBeforeLogindAnswersLetsTheLateInhibitorGo) {
  FakeLogind logind(bus.address(), FakeLogind::Behaviour::silent);
  PowerAssertion assertion(scheduler, {environment});
  assertion.take(90);
  ASSERT_TRUE(MainLoopWait::until([&] { return !logind.inhibitCalls().empty(); }, 20));
  assertion.release();
  logind.answerHeld();
  EXPECT_TRUE(letGo(logind, 0));
  EXPECT_EQ(assertion.state(), State::released);
}

TEST_F(PowerAssertionTest, ARefusingHangingOrMissingLogindIsQuietlyRefused) {
  struct Case {
    const char* name;
    std::optional<FakeLogind::Behaviour> logind;
  };
  const Case cases[] = {{"refuses", FakeLogind::Behaviour::refuse},
                        {"never answers", FakeLogind::Behaviour::silent},
                        {"not on the bus", std::nullopt}};
  for (const auto& test : cases) {
    std::optional<FakeLogind> logind;
    if (test.logind) logind.emplace(bus.address(), *test.logind);
    PowerAssertion assertion(scheduler, {environment, 0.3});
    assertion.take(90);
    ASSERT_TRUE(settles(assertion)) << test.name;
    EXPECT_EQ(assertion.state(), State::refused) << test.name;
    assertion.release();
  }
  environment.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (folder.path() / "none").string());
  PowerAssertion withoutBus(scheduler, {environment});
  withoutBus.take(90);
  ASSERT_TRUE(settles(withoutBus));
  EXPECT_EQ(withoutBus.state(), State::refused);
}

}  // namespace
}  // namespace meterwright
