#include <gtest/gtest.h>

#include <chrono>

#include "platform/process/ExecutableSearch.h"
#include "platform/process/ProcessRun.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;

const EnvironmentBlock systemPath({"PATH=/usr/bin:/bin"});

std::optional<ProcessRunResult> runShell(const std::string& script, double timeout = 5,
                                         std::size_t limit = 1 << 20) {
  return runCollectingOutput("/bin/sh", {"-c", script}, systemPath, timeout, 0.2, limit);
}

TEST(ProcessRun, CollectsStandardOutputAndTheExitStatusButNotStandardError) {
  auto result = runShell("echo out; echo err >&2; exit 3");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->standardOutput, "out\n");
  EXPECT_EQ(result->exitStatus, 3);
  EXPECT_FALSE(result->timedOut);
  EXPECT_FALSE(result->outputTruncated);
}

TEST(ProcessRun, DropsOutputBeyondTheLimitButLetsTheChildFinish) {
  auto result = runShell("head -c 300000 /dev/zero; echo done >&2", 5, 1000);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->standardOutput.size(), 1000u);
  EXPECT_TRUE(result->outputTruncated);
  EXPECT_EQ(result->exitStatus, 0);
}

TEST(ProcessRun, StopsAChildThatOutlivesTheDeadlineAndEverythingItStarted) {
  auto start = std::chrono::steady_clock::now();
  auto result = runShell("trap '' TERM; sleep 30 & echo $$ $!; wait", 0.3);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->timedOut);
  EXPECT_EQ(result->exitStatus, std::nullopt);
  EXPECT_LT(elapsed, 3.0);
  int shellPid = 0, sleepPid = 0;
  ASSERT_EQ(std::sscanf(result->standardOutput.c_str(), "%d %d", &shellPid, &sleepPid), 2);
  EXPECT_TRUE(wasReaped(shellPid));
  EXPECT_TRUE(processEnds(sleepPid));
}

TEST(ProcessRun, AChildThatClosesItsOutputEarlyIsStillWaitedFor) {
  auto result = runShell("exec >&-; sleep 0.1; exit 4");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->exitStatus, 4);
  EXPECT_FALSE(result->timedOut);
}

TEST(ProcessRun, NothingWhenTheLaunchFails) {
  EXPECT_EQ(runCollectingOutput("/nonexistent/program", {}, systemPath, 1, 0.1, 100), std::nullopt);
}

TEST(ProcessRun, LeavesNoDescriptorsBehind) {
  int before = openDescriptorCount();
  for (int run = 0; run < 100; ++run) {
    auto result = runShell(run % 2 ? "echo hi" : "echo hi >&2; exit 1");
    ASSERT_TRUE(result);
  }
  EXPECT_FALSE(runCollectingOutput("/nonexistent", {}, systemPath, 1, 0.1, 10));
  EXPECT_EQ(openDescriptorCount(), before);
}

TEST(ExecutableSearch, CandidatesComeFirstThenPathInOrder) {
  testing::TemporaryFolder folder;
  auto make = [&](const std::filesystem::path& path, bool executable) {
    testing::writeFile(path, "#!/bin/sh\n");
    std::filesystem::permissions(
        path, executable ? std::filesystem::perms::owner_all : std::filesystem::perms::owner_read);
    return path.string();
  };
  std::string first = make(folder.path() / "a" / "tool", true);
  std::string notExecutable = make(folder.path() / "b" / "tool", false);
  std::filesystem::create_directories(folder.path() / "c" / "tool");  // a folder, not a file
  std::string onPath = make(folder.path() / "d" / "tool", true);

  EnvironmentBlock environment({"PATH=relative:" + (folder.path() / "b").string() +
                                "::" + (folder.path() / "c").string() + ":" +
                                (folder.path() / "d").string() + "/"});
  EXPECT_EQ(ExecutableSearch::find({notExecutable, first}, "tool", environment), first);
  EXPECT_EQ(ExecutableSearch::find({notExecutable, "/nonexistent/tool"}, "tool", environment),
            onPath);
  EXPECT_EQ(ExecutableSearch::find({}, "tool", EnvironmentBlock()), std::nullopt);
  EXPECT_EQ(ExecutableSearch::find({}, "../d/tool", environment), std::nullopt);
}

TEST(ExecutableSearch, RelativePathFoldersAreNeverSearched) {
  testing::TemporaryFolder folder;
  std::filesystem::path previous = std::filesystem::current_path();
  testing::writeFile(folder.path() / "tool", "#!/bin/sh\n");
  std::filesystem::permissions(folder.path() / "tool", std::filesystem::perms::owner_all);
  std::filesystem::current_path(folder.path());
  auto found = ExecutableSearch::find({}, "tool", EnvironmentBlock({"PATH=.:"}));
  std::filesystem::current_path(previous);
  EXPECT_EQ(found, std::nullopt);
}

}  // namespace
}  // namespace meterwright
