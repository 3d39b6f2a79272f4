#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/glib/MainLoopWait.h"
#include "platform/session/TerminalLauncher.h"
#include "support/FakePrograms.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
namespace FakePrograms = testing::FakePrograms;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class TerminalLauncherTest : public ::testing::Test {
 protected:
  TerminalLauncher::Options options() const {
    return {EnvironmentBlock({"PATH=" + bin.string()}), folder.path() / "tmp"};
  }
  std::vector<std::vector<std::string>> runs(const std::string& name) {
    MainLoopWait::until([&] { return !FakePrograms::recordedRuns(folder, name).empty(); }, 20);
    return FakePrograms::recordedRuns(folder, name);
  }

  testing::TemporaryFolder folder;
  fs::path bin = FakePrograms::binFolder(folder);
  fs::path script = folder.path() / "tmp" / "MeterwrightSetup" / "Sign in to Codex.sh";
};

TEST_F(TerminalLauncherTest, WritesAPrivateScriptAndRunsTheTerminalNamedInTERMINAL) {
  fs::path terminal = FakePrograms::installRecorder(folder, "my-terminal");
  FakePrograms::installRecorder(folder, "x-terminal-emulator");
  TerminalLauncher::Options launch = options();
  launch.environment.set("TERMINAL", terminal.string());

  ASSERT_TRUE(TerminalLauncher::run("'/opt/codex' login", "Sign in to Codex", launch));
  EXPECT_EQ(testing::readFile(script),
            "#!/bin/bash\n"
            "clear\n"
            "echo \"Meterwright \u2014 Sign in to Codex\"\n"
            "echo\n"
            "'/opt/codex' login\n"
            "echo\n"
            "echo \"You can close this window and go back to Meterwright.\"\n"
            "read -r\n");
  EXPECT_EQ(modeOf(script), 0700u);
  EXPECT_EQ(modeOf(script.parent_path()), 0700u);
  EXPECT_EQ(runs("my-terminal"), (std::vector<std::vector<std::string>>{{"-e", script.string()}}));
  EXPECT_TRUE(FakePrograms::recordedRuns(folder, "x-terminal-emulator").empty());
}

TEST_F(TerminalLauncherTest, WithoutTERMINALTheFirstKnownTerminalOnPATHRunsIt) {
  // $TERMINAL names nothing that exists: the list is tried.
  TerminalLauncher::Options launch = options();
  launch.environment.set("TERMINAL", "no-such-terminal");
  FakePrograms::installRecorder(folder, "xterm");
  FakePrograms::installRecorder(folder, "konsole");
  ASSERT_TRUE(TerminalLauncher::run("true", "Sign in to Codex", launch));
  EXPECT_EQ(runs("konsole"), (std::vector<std::vector<std::string>>{{"-e", script.string()}}));
  EXPECT_TRUE(FakePrograms::recordedRuns(folder, "xterm").empty());
}

TEST_F(TerminalLauncherTest, TheTitleIsQuotedAndNoTerminalMeansNotHandedOver) {
  std::string text = TerminalLauncher::script("true", "a \"$(rm -rf ~)\" `x` \\");
  EXPECT_NE(text.find("echo \"Meterwright \u2014 a \\\"\\$(rm -rf ~)\\\" \\`x\\` \\\\\"\n"),
            std::string::npos)
      << text;
  EXPECT_FALSE(TerminalLauncher::run("true", "Sign in to Codex", options()));
}

}  // namespace
}  // namespace meterwright
