// The application on a desktop: a private session bus with a StatusNotifierWatcher in this process,
// and an X server of the test's own. A second start hands over to the running instance, which
// opens its popup.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "X11Windows.h"
#include "core/settings/UserDefaults.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/process/ChildProcess.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"
#include "support/VirtualDisplay.h"

namespace meterwright {
namespace {

// What a pipe of an ended child holds.
std::string drained(int fd) {
  std::string text;
  char chunk[4096];
  for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, got);
  return text;
}

// The application as a desktop session starts it, on the test's bus and display.
ChildProcess::Launch desktopLaunch(const testing::TemporaryFolder& folder,
                                   const testing::PrivateBus& bus,
                                   const testing::VirtualDisplay& display) {
  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.environment.set("HOME", (folder.path() / "home").string());
  launch.environment.set("LANG", "C.UTF-8");
  launch.environment.set("PATH", "/usr/bin:/bin");
  launch.environment.set("METERWRIGHT_LISTEN_ADDRESS", "127.0.0.1");
  launch.environment.set("DBUS_SESSION_BUS_ADDRESS", bus.address());
  launch.environment.set("DBUS_SYSTEM_BUS_ADDRESS",
                         "unix:path=" + (folder.path() / "no-bus").string());
  launch.environment.set("DISPLAY", display.name());
  launch.environment.set("GDK_BACKEND", "x11");
  // No accessibility bus or dconf on a private bus: GTK must not wait for them.
  launch.environment.set("GTK_A11Y", "none");
  launch.environment.set("GSETTINGS_BACKEND", "memory");
  // Software drawing: a GL driver loaded and unloaded again leaves allocations the leak checker
  // of a sanitized build cannot trace, and would fail the exit status.
  launch.environment.set("GSK_RENDERER", "cairo");
  launch.environment.set("GDK_DEBUG", "gl-disable");
  launch.output = ChildProcess::Stream::pipe;
  launch.error = ChildProcess::Stream::pipe;
  return launch;
}

// A private bus with a watcher, and a display whose windows the test can list.
class TrayInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
    if (!display.problem().empty()) GTEST_SKIP() << display.problem();
    windows.emplace(display.name());
    ASSERT_TRUE(windows->connected());
    // Answers while this thread iterates its main context: every wait below does.
    watcher.emplace(bus.address());
    ASSERT_TRUE(watcher->ready());
  }

  testing::TemporaryFolder folder;
  testing::PrivateBus bus{folder.path() / "bus"};
  testing::VirtualDisplay display;
  std::optional<testing::X11Windows> windows;
  std::optional<testing::FakeStatusNotifierWatcher> watcher;
};

TEST_F(TrayInstance, ASecondStartOpensThePopupOfTheTrayInstance) {
  ChildProcess::Launch launch = desktopLaunch(folder, bus, display);
  // Not a first launch, which would show the setup assistant.
  UserDefaults(folder.path() / "home" / ".local" / "state" / "meterwright" / "defaults.json")
      .set("setupCompleted.v1", true);

  std::optional<ChildProcess> first = ChildProcess::start(launch);
  ASSERT_TRUE(first);
  ASSERT_TRUE(MainLoopWait::until(
      [&] { return !watcher->registrations().empty() || !first->isRunning(); }, 30));
  ASSERT_TRUE(first->isRunning()) << drained(first->errorFd());
  EXPECT_TRUE(watcher->registrations()[0].starts_with("org.kde.StatusNotifierItem-" +
                                                      std::to_string(first->pid()) + "-"))
      << watcher->registrations()[0];
  // GTK starts with the first window: nothing is shown yet.
  EXPECT_EQ(windows->shownBy(first->pid()), 0);

  std::optional<ChildProcess> second = ChildProcess::start(launch);
  ASSERT_TRUE(second);
  ASSERT_TRUE(MainLoopWait::until([&] { return !second->isRunning(); }, 30));
  EXPECT_EQ(second->exitStatus(), 0);
  EXPECT_EQ(drained(second->outputFd()), "");
  EXPECT_EQ(drained(second->errorFd()), "");

  EXPECT_TRUE(MainLoopWait::until([&] { return windows->shownBy(first->pid()) > 0; }, 30))
      << "no window of the running instance appeared";

  ::kill(first->pid(), SIGTERM);
  ASSERT_TRUE(MainLoopWait::until([&] { return !first->isRunning(); }, 30));
  EXPECT_EQ(first->exitStatus(), 0) << drained(first->errorFd());
}

TEST_F(TrayInstance, AFirstLaunchShowsTheSetupAssistantUntilTheUserClosesIt) {
  std::optional<ChildProcess> first = ChildProcess::start(desktopLaunch(folder, bus, display));
  ASSERT_TRUE(first);
  auto shown = [&] { return windows->titlesShownBy(first->pid()); };
  EXPECT_TRUE(MainLoopWait::until(
      [&] { return shown() == std::vector<std::string>{"Welcome to Meterwright"}; }, 30))
      << shown().size() << " windows";

  // Quitting is not closing it: the next start shows it again.
  ::kill(first->pid(), SIGTERM);
  ASSERT_TRUE(MainLoopWait::until([&] { return !first->isRunning(); }, 30));
  EXPECT_EQ(first->exitStatus(), 0) << drained(first->errorFd());
  EXPECT_FALSE(
      UserDefaults(folder.path() / "home" / ".local" / "state" / "meterwright" / "defaults.json")
          .boolean("setupCompleted.v1"));
}

}  // namespace
}  // namespace meterwright
