#include <gtest/gtest.h>

#include "platform/process/ExecutableSearch.h"
#include "platform/process/ProcessRun.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;
namespace fs = std::filesystem;

const EnvironmentBlock systemPath({"PATH=/usr/bin:/bin"});

std::optional<ProcessRunResult> runShell(const std::string& script, double timeout = 5,
                                         std::size_t limit = 1 << 20) {
  return runCollectingOutput("/bin/sh", {"-c", script}, systemPath, timeout, 0.2, limit);
}

TEST(ProcessRun, CollectsStandardOutputUpToTheLimitAndTheExitStatusLeavingNoDescriptors) {
  struct Row {
    std::string script;
    std::size_t limit;
    ProcessRunResult expected;
  };
  const Row rows[] = {
      {"echo out; echo err >&2; exit 3", 1000, {"out\n", 3, false, false}},
      // The excess is dropped but the child may finish.
      {"head -c 300000 /dev/zero; echo done >&2", 1000, {std::string(1000, '\0'), 0, false, true}},
      // Output closed early: the exit is still waited for.
      {"exec >&-; sleep 0.1; exit 4", 1000, {"", 4, false, false}},
  };
  int before = openDescriptorCount();
  for (const Row& row : rows) EXPECT_EQ(runShell(row.script, 5, row.limit), row.expected);
  EXPECT_EQ(runCollectingOutput("/nonexistent/program", {}, systemPath, 1, 0.1, 100), std::nullopt);
  EXPECT_EQ(openDescriptorCount(), before) << "every way a run ends closes its descriptors";
}

TEST(ProcessRun, StopsAChildThatOutlivesTheDeadlineAndEverythingItStarted) {
  std::optional<ProcessRunResult> result;
  EXPECT_LT(
      secondsTaken([&] { result = runShell("trap '' TERM; sleep 30 & echo $$ $!; wait", 0.3); }),
      3.0);
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->timedOut);
  EXPECT_EQ(result->exitStatus, std::nullopt);
  int shellPid = 0, sleepPid = 0;
  ASSERT_EQ(std::sscanf(result->standardOutput.c_str(), "%d %d", &shellPid, &sleepPid), 2);
  EXPECT_TRUE(wasReaped(shellPid));
  EXPECT_TRUE(processEnds(sleepPid));
}

TEST(ExecutableSearch, CandidatesFirstThenAbsolutePathFoldersInOrder) {
  testing::TemporaryFolder folder;
  auto make = [&](const fs::path& path, fs::perms perms) {
    testing::writeFile(path, "#!/bin/sh\n");
    fs::permissions(path, perms);
    return path.string();
  };
  std::string first = make(folder.path() / "a" / "tool", fs::perms::owner_all);
  std::string notExecutable = make(folder.path() / "b" / "tool", fs::perms::owner_read);
  fs::create_directories(folder.path() / "c" / "tool");  // a folder, not a file
  std::string onPath = make(folder.path() / "d" / "tool", fs::perms::owner_all);
  make(folder.path() / "tool", fs::perms::owner_all);

  EnvironmentBlock environment({"PATH=relative:" + (folder.path() / "b").string() +
                                "::" + (folder.path() / "c").string() + ":" +
                                (folder.path() / "d").string() + "/"});
  EXPECT_EQ(ExecutableSearch::find({notExecutable, first}, "tool", environment), first);
  EXPECT_EQ(ExecutableSearch::find({notExecutable, "/nonexistent/tool"}, "tool", environment),
            onPath);
  EXPECT_EQ(ExecutableSearch::find({}, "tool", EnvironmentBlock()), std::nullopt);
  EXPECT_EQ(ExecutableSearch::find({}, "../d/tool", environment), std::nullopt);

  // Relative folders (".", and the empty entry) are never searched, even holding the tool.
  fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  auto found = ExecutableSearch::find({}, "tool", EnvironmentBlock({"PATH=.:"}));
  fs::current_path(previous);
  EXPECT_EQ(found, std::nullopt);
}

}  // namespace
}  // namespace meterwright
