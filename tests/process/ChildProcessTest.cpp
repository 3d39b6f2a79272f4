#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "platform/process/ChildProcess.h"
#include "platform/process/PseudoTerminal.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;
using SteadyClock = std::chrono::steady_clock;

ChildProcess::Launch shell(const std::string& script) {
  ChildProcess::Launch launch;
  launch.executable = "/bin/sh";
  launch.arguments = {"-c", script};
  launch.environment = EnvironmentBlock({"PATH=/usr/bin:/bin"});
  return launch;
}

// Everything the child writes to `fd` until it closes it.
std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  while (true) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 5000) <= 0) break;
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return text;
}

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

TEST(ChildProcess, RunsWithExactlyTheGivenEnvironmentArgumentsAndFolder) {
  testing::TemporaryFolder folder;
  auto launch = shell("printf '%s|%s|%s|' \"$GREETING\" \"$HOME\" \"$1\"; pwd");
  launch.arguments.push_back("name");
  launch.arguments.push_back("first argument");
  launch.environment.set("GREETING", "hello there");
  launch.workingDirectory = folder.path();
  launch.output = ChildProcess::Stream::pipe;
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  std::string output = readAll(child->outputFd());
  EXPECT_EQ(output, "hello there||first argument|" + folder.path().string() + "\n");
  EXPECT_TRUE(child->waitForExit(5));
  EXPECT_EQ(child->exitStatus(), 0);
}

TEST(ChildProcess, LaunchFailureIsReportedWithTheSystemsReason) {
  testing::TemporaryFolder folder;
  std::string error;
  auto launch = shell("true");
  launch.executable = (folder.path() / "missing").string();
  EXPECT_FALSE(ChildProcess::start(launch, &error));
  EXPECT_EQ(error, "No such file or directory");

  testing::writeFile(folder.path() / "plain", "#!/bin/sh\n");
  launch.executable = (folder.path() / "plain").string();
  EXPECT_FALSE(ChildProcess::start(launch, &error));
  EXPECT_EQ(error, "Permission denied");

  launch = shell("true");
  launch.workingDirectory = folder.path() / "no-such-folder";
  EXPECT_FALSE(ChildProcess::start(launch, &error));
}

TEST(ChildProcess, StopsAChildThatIgnoresTheRequestAndItsWholeGroup) {
  auto launch = shell("trap '' TERM; sleep 30 & echo $!; wait");
  launch.output = ChildProcess::Stream::pipe;
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  pid_t pid = child->pid();
  std::string line;
  char c;
  while (::read(child->outputFd(), &c, 1) == 1 && c != '\n') line += c;
  if (line.empty()) {
    pollfd wait{child->outputFd(), POLLIN, 0};
    ::poll(&wait, 1, 5000);
    while (::read(child->outputFd(), &c, 1) == 1 && c != '\n') line += c;
  }
  ASSERT_FALSE(line.empty());
  pid_t grandchild = std::stoi(line);

  auto start = SteadyClock::now();
  child->terminate(0.2);
  EXPECT_LT(secondsSince(start), 3.0);
  EXPECT_TRUE(child->hasExited());
  EXPECT_EQ(child->exitStatus(), std::nullopt);
  EXPECT_TRUE(wasReaped(pid));
  EXPECT_TRUE(processEnds(grandchild));
}

TEST(ChildProcess, DestroyingARunningChildStopsAndReapsIt) {
  pid_t pid;
  {
    auto child = ChildProcess::start(shell("exec sleep 30"));
    ASSERT_TRUE(child);
    pid = child->pid();
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

TEST(ChildProcess, WaitForExitGivesUpAtItsDeadline) {
  auto child = ChildProcess::start(shell("exec sleep 30"));
  ASSERT_TRUE(child);
  auto start = SteadyClock::now();
  EXPECT_FALSE(child->waitForExit(0.1));
  EXPECT_GE(secondsSince(start), 0.1);
  EXPECT_TRUE(child->isRunning());
}

TEST(PseudoTerminal, ChildGetsItAsItsControllingTerminalWithTheGivenSize) {
  auto terminal = PseudoTerminal::open(100, 40);
  ASSERT_TRUE(terminal);
  auto launch = shell("stty size; test -t 0 && test -t 2 && echo tty; : </dev/tty && echo owned");
  launch.input = launch.output = launch.error = ChildProcess::Stream::terminal;
  launch.terminal = terminal->slave();
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  terminal->closeSlave();

  std::string output;
  while (terminal->waitReadable(5)) {
    std::string piece = terminal->read(16384);
    if (piece.empty()) break;
    output += piece;
  }
  EXPECT_EQ(output, "40 100\r\ntty\r\nowned\r\n");
  EXPECT_TRUE(child->waitForExit(5));
}

TEST(PseudoTerminal, DescriptorsAreNotInheritedByOtherChildren) {
  auto terminal = PseudoTerminal::open();
  ASSERT_TRUE(terminal);
  auto launch = shell("ls /proc/self/fd");
  launch.output = ChildProcess::Stream::pipe;
  auto child = ChildProcess::start(launch);
  ASSERT_TRUE(child);
  std::string listing = readAll(child->outputFd());
  // 0, 1, 2 and the folder ls itself opened.
  EXPECT_EQ(listing, "0\n1\n2\n3\n");
}

}  // namespace
}  // namespace meterwright
