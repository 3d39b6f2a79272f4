#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/JobRunner.h"
#include "platform/glib/MainLoopWait.h"
#include "support/FakeNotificationServer.h"
#include "support/FakePrograms.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

const std::string body =
    "If this says Meterwright and shows the app icon, it is posting as itself.";

// The job reads the bus address and PATH from this process's environment; each test sets them
// and puts back what was there.
class TestNotificationJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "PATH"}) {
      if (const char* value = std::getenv(name)) saved[name] = value;
      unsetenv(name);
    }
    testing::FakePrograms::installRecorder(folder, "notify-send");
    setenv("PATH", testing::FakePrograms::binFolder(folder).c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "PATH"}) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
  }

  int run() { return JobRunner::run({"--test-notification"}, folder.locations(), out, err); }

  testing::TemporaryFolder folder;
  std::map<std::string, std::string> saved;
  std::ostringstream out, err;
};

TEST_F(TestNotificationJobTest, PostsAsTheDesktopEntryThroughARunningServer) {
  testing::PrivateBus bus(folder.path() / "bus");
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  testing::FakeNotificationServer server(bus.address(), {"body"});
  ASSERT_TRUE(server.ready());
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);

  EXPECT_EQ(run(), 0);
  EXPECT_EQ(out.str(),
            "bundle identifier: dev.velmora.meterwright\n"
            "posted \u2014 check the desktop's notifications\n");
  ASSERT_EQ(server.calls().size(), 1u);
  EXPECT_EQ(server.calls()[0].title, "Meterwright");
  EXPECT_EQ(server.calls()[0].body, body);
  EXPECT_EQ(server.calls()[0].hints.at("sound-name"), "'message-new-instant'");
}

TEST_F(TestNotificationJobTest, WithoutABusItSaysSoAndFallsBack) {
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(out.str(),
            "bundle identifier: none \u2014 will fall back\n"
            "posted \u2014 check the desktop's notifications\n");
  // notify-send is started, not waited for.
  auto runs = [&] { return testing::FakePrograms::recordedRuns(folder, "notify-send"); };
  ASSERT_TRUE(MainLoopWait::until([&] { return !runs().empty(); }, 20));
  std::vector<std::string> arguments = runs()[0];
  ASSERT_GE(arguments.size(), 3u);
  std::vector<std::string> texts(arguments.end() - 3, arguments.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"--", "Meterwright", body}));
}

}  // namespace
}  // namespace meterwright
