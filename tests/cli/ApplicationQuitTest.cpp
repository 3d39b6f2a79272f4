// The real application quitting while a reader waits on a child that never answers.

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/process/ChildProcess.h"
#include "support/FakePrograms.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

// A silent `codex` holds the reading for its whole twenty-second exchange. SIGTERM must end the
// application well before that, with status 0, and take the child down with it.
TEST(ApplicationQuit, SigtermDuringAHungReadingEndsPromptlyAndStopsTheChild) {
  testing::TemporaryFolder folder;
  testing::FakePrograms::install(folder, "codex");
  testing::FakePrograms::setMode(folder, "codex", "silent");
  const fs::path record = folder.path() / "codex-record";

  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.environment.set("HOME", folder.locations().home.string());
  launch.environment.set("LANG", "C.UTF-8");
  launch.environment.set("PATH", "/usr/bin:/bin");
  launch.environment.set("METERWRIGHT_LISTEN_ADDRESS", "127.0.0.1");
  launch.environment.set("DBUS_SYSTEM_BUS_ADDRESS",
                         "unix:path=" + (folder.path() / "no-bus").string());
  launch.environment.set("FAKE_CODEX_RECORD", record.string());
  std::optional<ChildProcess> application = ChildProcess::start(launch);
  ASSERT_TRUE(application);

  // The fake writes its pid as it starts; the file may exist a moment before the pid is in it.
  const fs::path pidFile = record.string() + ".pid";
  std::string pid;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (pid.empty() && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(application->isRunning());
    if (fs::exists(pidFile)) pid = testing::readFile(pidFile);
    if (pid.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(pid.empty()) << "the application never started codex";

  ::kill(application->pid(), SIGTERM);
  // Half the exchange's limit: an application that waited for the reader would still be running.
  ASSERT_TRUE(application->waitForExit(10)) << "quitting waited for the reading";
  EXPECT_EQ(application->exitStatus(), 0);
  bool gone = ::kill(std::stoi(pid), 0) != 0 && errno == ESRCH;
  EXPECT_TRUE(gone) << "codex outlived the application";
}

}  // namespace
}  // namespace meterwright
