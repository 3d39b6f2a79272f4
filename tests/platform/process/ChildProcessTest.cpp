#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/process/ChildProcess.h"
#include "platform/process/PseudoTerminal.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;

ChildProcess::Launch shell(const std::string& script) {
  ChildProcess::Launch launch;
  launch.executable = "/bin/sh";
  launch.arguments = {"-c", script};
  launch.environment = EnvironmentBlock({"PATH=/usr/bin:/bin"});
  launch.output = ChildProcess::Stream::pipe;
  return launch;
}

// The child's output until it closes it, or only its first line.
std::string outputOf(ChildProcess& child, bool firstLineOnly = false) {
  std::string text;
  child.readOutput(std::chrono::steady_clock::now() + std::chrono::seconds(5),
                   [&](std::string_view chunk) {
                     text += chunk;
                     return !firstLineOnly || text.find('\n') == std::string::npos;
                   });
  return text;
}

TEST(ChildProcess, RunsWithExactlyTheGivenEnvironmentArgumentsAndFolder) {
  testing::TemporaryFolder folder;
  auto launch = shell("printf '%s|%s|%s|' \"$GREETING\" \"$HOME\" \"$1\"; pwd");
  launch.arguments.insert(launch.arguments.end(), {"name", "first argument"});
  launch.environment.set("GREETING", "hello there");
  launch.workingDirectory = folder.path();
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  EXPECT_EQ(outputOf(*child), "hello there||first argument|" + folder.path().string() + "\n");
  EXPECT_TRUE(child->waitForExit(5));
  EXPECT_EQ(child->exitStatus(), 0);
}

TEST(ChildProcess, LaunchFailureIsReportedWithTheSystemsReason) {
  testing::TemporaryFolder folder;
  testing::writeFile(folder.path() / "plain", "#!/bin/sh\n");
  std::string error;
  auto launch = shell("true");
  launch.executable = (folder.path() / "missing").string();
  EXPECT_FALSE(ChildProcess::start(launch, &error));
  EXPECT_EQ(error, "No such file or directory");
  launch.executable = (folder.path() / "plain").string();
  EXPECT_FALSE(ChildProcess::start(launch, &error));
  EXPECT_EQ(error, "Permission denied");
  launch = shell("true");
  launch.workingDirectory = folder.path() / "no-such-folder";
  EXPECT_FALSE(ChildProcess::start(launch, &error));
}

TEST(ChildProcess, StopsAChildThatIgnoresTheRequestAndItsWholeGroup) {
  auto child = ChildProcess::start(shell("trap '' TERM; sleep 30 & echo $!; wait"));
  ASSERT_TRUE(child);
  pid_t grandchild = std::stoi("0" + outputOf(*child, true));
  ASSERT_GT(grandchild, 0);
  EXPECT_LT(secondsTaken([&] { child->terminate(0.2); }), 3.0);
  EXPECT_TRUE(child->hasExited());
  EXPECT_EQ(child->exitStatus(), std::nullopt);
  EXPECT_TRUE(wasReaped(child->pid()));
  EXPECT_TRUE(processEnds(grandchild));
}

TEST(ChildProcess, WaitGivesUpAtItsDeadlineAndDestroyingTheChildStopsAndReapsIt) {
  pid_t pid;
  {
    auto child = ChildProcess::start(shell("exec sleep 30"));
    ASSERT_TRUE(child);
    pid = child->pid();
    EXPECT_GE(secondsTaken([&] { EXPECT_FALSE(child->waitForExit(0.1)); }), 0.1);
    EXPECT_TRUE(child->isRunning());
  }
  EXPECT_TRUE(wasReaped(pid));
}

TEST(ChildProcess, WritingToAChildThatStoppedReadingFailsWithoutASignal) {
  auto launch = shell("exec 0<&-; exit 0");
  launch.input = ChildProcess::Stream::pipe;
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  ASSERT_TRUE(child->waitForExit(5));
  // SIGPIPE's default action would end the test program here.
  EXPECT_FALSE(child->writeInput(std::string(100000, 'x')));
  EXPECT_FALSE(child->writeInput("again"));
}

// stopAll leaves this process unable to start children, so it runs apart, in a fresh process.
// The child's object stays with its owner, as with a reader on a thread nobody waits for.
TEST(ChildProcessStopAll, StopsAndReapsEveryChildItsGroupIncludedAndRefusesNewOnes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto child = ChildProcess::start(shell("trap '' TERM; sleep 30 & echo $!; wait"));
        if (!child) std::exit(2);
        pid_t grandchild = std::stoi("0" + outputOf(*child, true));
        if (grandchild <= 0) std::exit(2);
        ChildProcess::stopAll(0.2);
        if (!wasReaped(child->pid()) || !processEnds(grandchild)) std::exit(3);
        if (child->isRunning() || !child->hasExited()) std::exit(4);
        std::string error;
        if (ChildProcess::start(shell("exit 0"), &error)) std::exit(5);
        std::exit(error.empty() ? 6 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(PseudoTerminal, DescriptorsAreNotInheritedByOtherChildren) {
  auto terminal = PseudoTerminal::open();
  ASSERT_TRUE(terminal);
  auto child = ChildProcess::start(shell("ls /proc/self/fd"));
  ASSERT_TRUE(child);
  // 0, 1, 2 and the folder ls itself opened.
  EXPECT_EQ(outputOf(*child), "0\n1\n2\n3\n");
}

}  // namespace
}  // namespace meterwright
