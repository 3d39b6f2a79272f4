#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "core/json/JsonText.h"
#include "core/providers/ProviderRegistry.h"
#include "desktop/readers/CodexDirectSource.h"
#include "support/FakePrograms.h"
#include "support/ManualClock.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;
namespace FakePrograms = testing::FakePrograms;
using json = nlohmann::json;

const SourceFailure noAnswer{"Codex app-server did not answer",
                             "Run `codex login` in a Terminal, then press Refresh.", true};

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
  pid_t fakePid() const { return std::stoi(testing::readFile(record.string() + ".pid")); }

  testing::TemporaryFolder folder;
  std::filesystem::path record = folder.path() / "codex-input";
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  ReaderContext context;
};

TEST_F(CodexDirectSourceTest, ReadsTheAnswerIntoALiveProviderReading) {
  std::string path = installFake("answer");
  auto reader = source();
  std::optional<Snapshot> snapshot = reader.read();
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(reader.lastFailure(), std::nullopt);
  EXPECT_EQ(snapshot->generatedAt, clock->now());
  EXPECT_EQ(snapshot->sourceName, "Codex");
  EXPECT_EQ(snapshot->sourcePath, path);
  ASSERT_EQ(snapshot->providers.size(), 1u);
  const ProviderSnapshot& codex = snapshot->providers[0];
  EXPECT_EQ(codex.id, "codex");
  EXPECT_EQ(codex.name, ProviderRegistry::codex().displayName);
  EXPECT_EQ(codex.plan, "Plus");
  EXPECT_EQ(codex.state, "live");
  EXPECT_EQ(codex.observedAt, clock->now());
  std::vector<UsageWindow> expected = {{300, 12.5, dateFromUnixSeconds(1700003600), std::nullopt},
                                       {10080, 40, dateFromUnixSeconds(1700500000), std::nullopt}};
  EXPECT_EQ(codex.windows, expected);
  EXPECT_TRUE(wasReaped(fakePid()));
}

TEST_F(CodexDirectSourceTest, SendsExactlyTheTwoRequestsAsCompactLines) {
  installFake("answer");
  ASSERT_TRUE(source().read());
  std::string sent = testing::readFile(record);
  std::size_t firstEnd = sent.find('\n');
  ASSERT_NE(firstEnd, std::string::npos);
  ASSERT_EQ(sent.back(), '\n');
  std::string first = sent.substr(0, firstEnd);
  std::string second = sent.substr(firstEnd + 1, sent.size() - firstEnd - 2);
  ASSERT_EQ(second.find('\n'), std::string::npos);

  json initialize = {
      {"jsonrpc", "2.0"},
      {"id", 1},
      {"method", "initialize"},
      {"params",
       {{"clientInfo",
         {{"name", "meterwright"}, {"title", "Meterwright"}, {"version", "0.5.0"}}}}}};
  json rateLimits = {{"jsonrpc", "2.0"},
                     {"id", 2},
                     {"method", "account/rateLimits/read"},
                     {"params", json::object()}};
  EXPECT_EQ(JsonText::parse(first), initialize);
  EXPECT_EQ(JsonText::parse(second), rateLimits);
  EXPECT_TRUE(JsonText::parse(first)->at("id").is_number_integer());
  // Compact: no space outside the strings.
  EXPECT_EQ(first, initialize.dump());
  EXPECT_EQ(second, rateLimits.dump());
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

TEST_F(CodexDirectSourceTest, AnswersThatAreNotAResultForTheIntegerTwoAreNoAnswer) {
  // An error answer, a result that is not an object, and ids "2", 2.0 and [2].
  for (std::string mode : {"error", "noResult", "stringIds"}) {
    SCOPED_TRACE(mode);
    context.deadlines.codexExchange = 1;
    installFake(mode);
    auto reader = source();
    EXPECT_EQ(reader.read(), std::nullopt);
    EXPECT_EQ(reader.lastFailure(), noAnswer);
  }
}

TEST_F(CodexDirectSourceTest, AChildThatExitsEndsTheWaitAtOnce) {
  installFake("exit");
  auto start = std::chrono::steady_clock::now();
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(reader.lastFailure(), noAnswer);
}

TEST_F(CodexDirectSourceTest, ASilentChildIsStoppedAtTheDeadlineEvenIfItIgnoresTheRequest) {
  for (std::string mode : {"silent", "ignoreTerm"}) {
    SCOPED_TRACE(mode);
    context.deadlines.codexExchange = 0.4;
    installFake(mode);
    auto start = std::chrono::steady_clock::now();
    auto reader = source();
    EXPECT_EQ(reader.read(), std::nullopt);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.4);
    EXPECT_LT(elapsed, 4.0);
    EXPECT_EQ(reader.lastFailure(), noAnswer);
    EXPECT_TRUE(wasReaped(fakePid()));
  }
}

TEST_F(CodexDirectSourceTest, AnEndlessLineIsNoAnswer) {
  installFake("hugeLine");
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(reader.lastFailure(), noAnswer);
}

TEST_F(CodexDirectSourceTest, WhatTheChildStartedDoesNotOutliveTheReading) {
  installFake("forks");
  ASSERT_TRUE(source().read());
  pid_t grandchild = std::stoi(testing::readFile(record.string() + ".grandchild"));
  EXPECT_TRUE(processEnds(grandchild));
}

TEST_F(CodexDirectSourceTest, AnAnswerWithoutWindowsIsItsOwnFailure) {
  context.environment.set("FAKE_CODEX_ANSWER", R"({"rateLimits":{"planType":"pro"}})");
  installFake("answer");
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(reader.lastFailure(), (SourceFailure{"Codex returned no usage windows",
                                                 "Sign in to Codex, then press Refresh.", true}));
}

TEST_F(CodexDirectSourceTest, NoExecutableIsAFailureTheUserNeedNotAct) {
  context.environment.set("PATH", (folder.path() / "empty").string());
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(
      reader.lastFailure(),
      (SourceFailure{"Codex CLI not found", "Install Codex CLI or the Codex desktop app.", false}));
}

TEST_F(CodexDirectSourceTest, SuccessClearsTheLastFailure) {
  context.environment.set("PATH", (folder.path() / "empty").string());
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  ASSERT_TRUE(reader.lastFailure());
  // The same reader finds the program once it is installed.
  FakePrograms::install(folder, "codex");
  EXPECT_TRUE(reader.read());
  EXPECT_EQ(reader.lastFailure(), std::nullopt);
}

TEST_F(CodexDirectSourceTest, ExecutableIsLookedUpOnPathAfterTheCandidates) {
  std::filesystem::path onPath = folder.path() / "tools" / "codex";
  FakePrograms::installAt("codex", onPath);
  context.environment.set("PATH", "/usr/bin:" + onPath.parent_path().string());
  EXPECT_EQ(CodexDirectSource::executablePath(context), onPath.string());
  std::string installed = FakePrograms::install(folder, "codex").string();
  EXPECT_EQ(CodexDirectSource::executablePath(context), installed);
  EXPECT_EQ(CodexDirectSource::candidatePaths(context.locations.home).front(), installed);
}

TEST_F(CodexDirectSourceTest, ModeCanComeFromAFileBesideTheFake) {
  installFake("answer");
  context.environment.remove("FAKE_CODEX_MODE");
  FakePrograms::setMode(folder, "codex", "error");
  context.deadlines.codexExchange = 1;
  auto reader = source();
  EXPECT_EQ(reader.read(), std::nullopt);
  EXPECT_EQ(reader.lastFailure(), noAnswer);
}

TEST_F(CodexDirectSourceTest, HundredReadingsLeaveNoDescriptorOrChildBehind) {
  // A shell stand-in keeps a hundred readings quick.
  std::filesystem::path fake = FakePrograms::binFolder(folder) / "codex";
  testing::writeFile(fake,
                     "#!/bin/sh\nread a\nread b\necho $$ >> \"$FAKE_CODEX_RECORD.pids\"\n"
                     "echo '{\"id\":2,\"result\":{\"primary\":{\"usedPercent\":1,"
                     "\"windowDurationMins\":300}}}'\nexec sleep 30\n");
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
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
