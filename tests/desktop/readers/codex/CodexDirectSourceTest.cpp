#include <gtest/gtest.h>

#include <sstream>

#include "core/providers/ProviderRegistry.h"
#include "desktop/readers/codex/CodexDirectSource.h"
#include "desktop/readers/codex/CodexExecutable.h"
#include "support/FakePrograms.h"
#include "support/ManualClock.h"
#include "support/ProcessChecks.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;
namespace FakePrograms = testing::FakePrograms;

const SourceFailure noAnswer{"Codex app-server did not answer",
                             "Run `codex login` in a terminal, then press Refresh.", true};

class CodexDirectSourceTest : public ::testing::Test {
 protected:
  CodexDirectSourceTest() {
    context.locations = folder.locations();
    context.environment = FakePrograms::cleanEnvironment();
    context.environment.set("HOME", context.locations.home.string());
    context.environment.set("FAKE_CODEX_RECORD", record.string());
    context.clock = clock;
    context.deadlines.codexExchange = 10;
    context.deadlines.terminationGrace = 0.3;
  }

  CodexDirectSource source() {
    return CodexDirectSource("GPT Codex — local app-server", ProviderRegistry::codex(), context);
  }
  std::string installFake(const std::string& mode) {
    context.environment.set("FAKE_CODEX_MODE", mode);
    return FakePrograms::install(folder, "codex").string();
  }
  pid_t recordedPid(const std::string& suffix = ".pid") const {
    return std::stoi(testing::readFile(record.string() + suffix));
  }

  testing::TemporaryFolder folder;
  std::filesystem::path record = folder.path() / "codex-input";
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  ReaderContext context;
};

TEST_F(CodexDirectSourceTest, SendsTwoCompactRequestsAndReadsTheAnswerIntoALiveReading) {
  std::string path = installFake("answer");
  auto reader = source();
  std::vector<UsageWindow> windows = {{300, 12.5, dateFromUnixSeconds(1700003600), std::nullopt},
                                      {10080, 40, dateFromUnixSeconds(1700500000), std::nullopt}};
  ProviderSnapshot codex{
      "codex", ProviderRegistry::codex().displayName, "Plus", "live", clock->now(), windows};
  EXPECT_EQ(reader.read(), (Snapshot{clock->now(), {codex}, "Codex", path}));
  EXPECT_EQ(reader.lastFailure(), std::nullopt);
  EXPECT_TRUE(wasReaped(recordedPid()));

  EXPECT_EQ(testing::readFile(record),
            R"({"id":1,"jsonrpc":"2.0","method":"initialize","params":{"clientInfo":)"
            R"({"name":"meterwright","title":"Meterwright","version":"0.5.0"}}})"
            "\n"
            R"({"id":2,"jsonrpc":"2.0","method":"account/rateLimits/read","params":{}})"
            "\n");
}

TEST_F(CodexDirectSourceTest, ReassemblesLinesHoweverTheOutputArrives) {
  for (std::string mode : {"outOfOrder", "split", "together", "garbage", "chatty"}) {
    SCOPED_TRACE(mode);
    installFake(mode);
    auto reader = source();
    auto snapshot = reader.read();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->providers.at(0).windows.size(), 2u);
    EXPECT_EQ(reader.lastFailure(), std::nullopt);
  }
}

TEST_F(CodexDirectSourceTest, AnythingButAResultObjectForTheIntegerTwoIsNoAnswer) {
  // An error answer, a result that is not an object, ids "2", 2.0 and [2], a line past the bound,
  // and a child that exits at once (which ends the wait early).
  for (std::string mode : {"error", "noResult", "stringIds", "hugeLine", "exit"}) {
    SCOPED_TRACE(mode);
    // A long deadline where the child would answer properly in the end: only the bound stops it.
    context.deadlines.codexExchange = mode == "exit" || mode == "hugeLine" ? 10 : 1;
    installFake(mode);
    auto reader = source();
    EXPECT_LT(secondsTaken([&] { EXPECT_EQ(reader.read(), std::nullopt); }), 5.0);
    EXPECT_EQ(reader.lastFailure(), noAnswer);
  }
}

TEST_F(CodexDirectSourceTest, ASilentChildIsStoppedAtTheDeadlineEvenIfItIgnoresTheRequest) {
  context.deadlines.codexExchange = 0.4;
  for (std::string mode : {"silent", "ignoreTerm"}) {
    SCOPED_TRACE(mode);
    installFake(mode);
    auto reader = source();
    double elapsed = secondsTaken([&] { EXPECT_EQ(reader.read(), std::nullopt); });
    EXPECT_GE(elapsed, 0.4);
    EXPECT_LT(elapsed, 4.0);
    EXPECT_EQ(reader.lastFailure(), noAnswer);
    EXPECT_TRUE(wasReaped(recordedPid()));
  }
}

TEST_F(CodexDirectSourceTest, WhatTheChildStartedDoesNotOutliveTheReading) {
  installFake("forks");
  ASSERT_TRUE(source().read());
  EXPECT_TRUE(processEnds(recordedPid(".grandchild")));
}

TEST_F(CodexDirectSourceTest, AnAnswerWithoutWindowsIsItsOwnFailure) {
  context.environment.set("FAKE_CODEX_ANSWER", R"({"rateLimits":{"planType":"pro"}})");
  installFake("answer");
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(reader.lastFailure(), (SourceFailure{"Codex returned no usage windows",
                                                 "Sign in to Codex, then press Refresh.", true}));
}

TEST_F(CodexDirectSourceTest, NoExecutableIsAFailureUntilTheProgramIsInstalled) {
  context.environment.set("PATH", (folder.path() / "empty").string());
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(
      reader.lastFailure(),
      (SourceFailure{"Codex CLI not found", "Install Codex CLI or the Codex desktop app.", false}));
  FakePrograms::install(folder, "codex");
  EXPECT_TRUE(reader.read());
  EXPECT_EQ(reader.lastFailure(), std::nullopt);
}

TEST_F(CodexDirectSourceTest, ExecutableIsLookedUpOnPathAfterTheCandidates) {
  std::filesystem::path onPath = folder.path() / "tools" / "codex";
  FakePrograms::installAt("codex", onPath);
  context.environment.set("PATH", "/usr/bin:" + onPath.parent_path().string());
  EXPECT_EQ(CodexExecutable::find(context.locations, context.environment), onPath.string());
  std::string installed = FakePrograms::install(folder, "codex").string();
  EXPECT_EQ(CodexExecutable::find(context.locations, context.environment), installed);
}

TEST_F(CodexDirectSourceTest, HundredReadingsLeaveNoDescriptorOrChildBehind) {
  FakePrograms::installScript(folder, "codex",
                              "read a\nread b\necho $$ >> \"$FAKE_CODEX_RECORD.pids\"\n"
                              "echo '{\"id\":2,\"result\":{\"primary\":{\"usedPercent\":1,"
                              "\"windowDurationMins\":300}}}'\nexec sleep 30\n");
  auto reader = source();
  ASSERT_TRUE(reader.read());
  int before = openDescriptorCount();
  for (int reading = 0; reading < 100; ++reading) ASSERT_TRUE(reader.read());
  EXPECT_EQ(openDescriptorCount(), before);
  std::istringstream pids(testing::readFile(record.string() + ".pids"));
  int count = 0;
  for (pid_t pid; pids >> pid; ++count) EXPECT_TRUE(wasReaped(pid));
  EXPECT_EQ(count, 101);
}

}  // namespace
}  // namespace meterwright
