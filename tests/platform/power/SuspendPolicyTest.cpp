#include <gtest/gtest.h>

#include "platform/glib/MainLoopWait.h"
#include "platform/power/SuspendPolicy.h"
#include "support/FakeLogind.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

// What the read gave, once it answered.
std::optional<SuspendPolicy> readFrom(const std::string& address) {
  bool answered = false;
  std::optional<SuspendPolicy> answer;
  SuspendPolicy::read(EnvironmentBlock({"DBUS_SYSTEM_BUS_ADDRESS=" + address}), 0.5,
                      [&](std::optional<SuspendPolicy> policy) {
                        answer = policy;
                        answered = true;
                      });
  EXPECT_TRUE(MainLoopWait::until([&] { return answered; }, 20));
  return answer;
}

TEST(SuspendPolicy, IsReadFromLogindAndMissingWithoutIt) {
  testing::TemporaryFolder folder;
  testing::PrivateBus bus(folder.path() / "bus");
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  {
    testing::FakeLogind logind(bus.address(), testing::FakeLogind::Behaviour::answer,
                               {"suspend", "lock", "challenge"});
    ASSERT_TRUE(logind.ready());
    EXPECT_EQ(readFrom(bus.address()), (SuspendPolicy{"suspend", "lock", "challenge"}));
  }
  EXPECT_EQ(readFrom(bus.address()), std::nullopt);
  EXPECT_EQ(readFrom("unix:path=" + (folder.path() / "none").string()), std::nullopt);
}

}  // namespace
}  // namespace meterwright
