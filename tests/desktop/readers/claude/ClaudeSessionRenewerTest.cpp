#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/json/JsonText.h"
#include "desktop/readers/claude/ClaudeExecutable.h"
#include "desktop/readers/claude/ClaudeSessionRenewer.h"
#include "support/FakePrograms.h"
#include "support/ManualClock.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace testing::ProcessChecks;
namespace FakePrograms = testing::FakePrograms;
using Kind = ClaudeSessionRenewer::Outcome::Kind;
using json = nlohmann::json;

class ClaudeSessionRenewerTest : public ::testing::Test {
 protected:
  ClaudeSessionRenewerTest() {
    environment = FakePrograms::cleanEnvironment();
    environment.set("HOME", locations.home.string());
    environment.set("FAKE_CLAUDE_RECORD", record.string());
    environment.set("CLAUDE_CODE_CHILD_SESSION", "1");
    environment.set("KEPT_VARIABLE", "kept");
  }

  std::unique_ptr<ClaudeSessionRenewer> renewer(double grace = 0.5) {
    auto made = std::make_unique<ClaudeSessionRenewer>(locations, environment, clock, grace);
    made->setPauses({0.05, 0.05, 0.1});
    return made;
  }
  void installFake(const std::string& mode) {
    environment.set("FAKE_CLAUDE_MODE", mode);
    FakePrograms::install(folder, "claude");
  }
  json recorded(const std::string& suffix) {
    return JsonText::parse(testing::readFile(record.string() + suffix)).value_or(json());
  }
  pid_t fakePid() const { return std::stoi(testing::readFile(record.string() + ".pid")); }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  EnvironmentBlock environment;
  std::filesystem::path record = folder.path() / "claude-input";
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
};

TEST_F(ClaudeSessionRenewerTest, StartsClaudeWithoutToolsOnItsOwnTerminalInThePrivateFolder) {
  installFake("ready");
  auto subject = renewer();
  ASSERT_EQ(subject->renew(10).kind, Kind::renewed);
  EXPECT_EQ(recorded(".args"), json::array({"--allowed-tools", ""}));
  json childEnvironment = recorded(".env");
  for (auto [name, value] : {std::pair{"TERM", "xterm-256color"},
                             {"COLUMNS", "100"},
                             {"LINES", "40"},
                             {"KEPT_VARIABLE", "kept"}}) {
    EXPECT_EQ(childEnvironment.value(name, ""), value);
  }
  EXPECT_FALSE(childEnvironment.contains("CLAUDE_CODE_CHILD_SESSION"));
  EXPECT_EQ(subject->workingDirectory(), locations.supportFolder() / "ClaudeRenew");
  EXPECT_EQ(testing::readFile(record.string() + ".cwd"), subject->workingDirectory().string());
  EXPECT_EQ(recorded(".tty"),
            (json{{"isatty", true}, {"controlling", true}, {"size", json::array({100, 40})}}));
}

TEST_F(ClaudeSessionRenewerTest, WhatTheScreenShowsDecidesTheOutcome) {
  struct Row {
    std::string mode;
    Kind kind;
    std::string typed;
  };
  // What was typed: nothing reaches the model, the trust question gets exactly one return.
  for (const Row& row : {Row{"ready", Kind::renewed, ""}, Row{"readySplit", Kind::renewed, ""},
                         Row{"trust", Kind::renewed, "\r"}, Row{"signedOut", Kind::signedOut, ""},
                         Row{"exit", Kind::unchanged, ""}}) {
    SCOPED_TRACE(row.mode);
    installFake(row.mode);
    EXPECT_EQ(renewer()->renew(10), (ClaudeSessionRenewer::Outcome{row.kind, ""}));
    EXPECT_EQ(testing::readFile(record), row.typed);
    EXPECT_TRUE(wasReaped(fakePid()));
  }
}

TEST_F(ClaudeSessionRenewerTest, SilenceUntilTheLimitIsATimeOutAndTheProgramIsStopped) {
  for (std::string mode : {"silent", "ignoreTerm"}) {
    SCOPED_TRACE(mode);
    installFake(mode);
    double elapsed =
        secondsTaken([&] { EXPECT_EQ(renewer(0.3)->renew(0.5).kind, Kind::timedOut); });
    EXPECT_GE(elapsed, 0.5);
    EXPECT_LT(elapsed, 4.0);
    EXPECT_TRUE(wasReaped(fakePid()));
    EXPECT_TRUE(processEnds(fakePid()));
  }
}

TEST_F(ClaudeSessionRenewerTest, TranscriptFoldersAreRemovedAfterEveryAttempt) {
  auto subject = renewer();
  auto folders = subject->transcriptFolders();
  std::string slashesOnly = subject->workingDirectory().string();
  std::replace(slashesOnly.begin(), slashesOnly.end(), '/', '-');
  ASSERT_GE(folders.size(), 2u);
  EXPECT_EQ(folders[0], locations.home / ".claude" / "projects" / slashesOnly);

  for (std::string mode : {"ready", "signedOut", "exit", "silent"}) {
    SCOPED_TRACE(mode);
    for (const auto& folder : folders) std::filesystem::create_directories(folder / "session");
    installFake(mode);
    subject->renew(0.5);
    for (const auto& folder : folders) EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
    EXPECT_TRUE(std::filesystem::exists(locations.home / ".claude" / "projects"));
  }
  environment.set("CLAUDE_CONFIG_DIR", (folder.path() / "claude-config").string());
  folders = renewer()->transcriptFolders();
  EXPECT_EQ(std::ranges::count(folders, folder.path() / "claude-config/projects",
                               &std::filesystem::path::parent_path),
            2);
}

TEST_F(ClaudeSessionRenewerTest, WithoutAnExecutableNothingIsCreated) {
  environment.set("PATH", (folder.path() / "empty").string());
  auto subject = renewer();
  EXPECT_EQ(subject->renew(10), (ClaudeSessionRenewer::Outcome{Kind::noExecutable, ""}));
  EXPECT_FALSE(std::filesystem::exists(subject->workingDirectory()));
  EXPECT_FALSE(std::filesystem::exists(locations.supportFolder()));
}

TEST_F(ClaudeSessionRenewerTest, AProgramThatCannotStartIsAFailureWithTheReason) {
  FakePrograms::installScript(folder, "claude", "");
  testing::writeFile(FakePrograms::binFolder(folder) / "claude", "#!/nonexistent/interpreter\n");
  EXPECT_EQ(renewer()->renew(10),
            (ClaudeSessionRenewer::Outcome{Kind::failed, "No such file or directory"}));
}

TEST_F(ClaudeSessionRenewerTest, AttemptsThroughRenewIfDueAreTenMinutesApartInEveryProcess) {
  environment.set("PATH", (folder.path() / "empty").string());
  auto subject = renewer();
  EXPECT_LT(subject->lastAttempt(), dateFromUnixSeconds(0));
  // A direct renewal does not count.
  subject->renew(1);
  EXPECT_LT(subject->lastAttempt(), dateFromUnixSeconds(0));

  Date first = clock->now();
  EXPECT_EQ(subject->renewIfDue(1), (ClaudeSessionRenewer::Outcome{Kind::noExecutable, ""}));
  EXPECT_EQ(subject->lastAttempt(), first);
  clock->advance(599.5);
  EXPECT_EQ(subject->renewIfDue(1), std::nullopt);
  EXPECT_EQ(subject->lastAttempt(), first);
  // Another process (a status line run every few seconds) keeps the same spacing.
  auto otherProcess = renewer();
  EXPECT_EQ(otherProcess->renewIfDue(1), std::nullopt);
  EXPECT_EQ(otherProcess->lastAttempt(), first);
  clock->advance(0.5);
  EXPECT_TRUE(otherProcess->renewIfDue(1));
  EXPECT_EQ(subject->lastAttempt(), clock->now());
  // An attempt from the future cannot be true (a clock set back): the gate opens once.
  clock->advance(-3600);
  EXPECT_TRUE(subject->renewIfDue(1));
  EXPECT_EQ(subject->renewIfDue(1), std::nullopt);

  clock->advance(3600);
  auto raced = renewer();
  std::atomic<int> attempts = 0;
  {
    std::vector<std::jthread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { attempts += !!raced->renewIfDue(1); });
  }
  EXPECT_EQ(attempts.load(), 1) << "racing callers start one renewal";
}

TEST(ClaudeExecutable, LooksInTheHomeFolderFirstThenOnPath) {
  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  std::filesystem::path onPath = folder.path() / "tools" / "claude";
  FakePrograms::installAt("claude", onPath);
  EnvironmentBlock environment({"PATH=" + onPath.parent_path().string()});
  EXPECT_EQ(ClaudeExecutable::find(locations, environment), onPath.string());
  std::string installed = FakePrograms::install(folder, "claude").string();
  EXPECT_EQ(ClaudeExecutable::find(locations, environment), installed);
  // A home that is not absolute would make the first candidate depend on the current folder.
  EXPECT_EQ(ClaudeExecutable::candidates("").size(), 2u);
}

}  // namespace
}  // namespace meterwright
