// Status lines run `meterwright --print` every few seconds, often from several panes at once: the
// providers' floors, back-off and rate limits must hold across all those processes.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>

#include "cli/ReadingJobsFixture.h"
#include "core/files/AtomicFile.h"
#include "core/json/JsonText.h"
#include "core/readers/PollStateCoding.h"
#include "core/readers/PollStateStore.h"
#include "core/usage/SnapshotStore.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/PseudoTerminal.h"
#include "support/ProcessChecks.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::LoopbackHttpServer;
using testing::readFile;
using testing::writeFile;

const char* const separator = "  \u00B7  ";

std::vector<std::string> segments(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    std::size_t end = line.find(separator, start);
    parts.push_back(line.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + std::string(separator).size();
  }
}

class StatusLinesTest : public testing::ReadingJobsFixture {
 protected:
  void SetUp() override {
    ReadingJobsFixture::SetUp();
    // `codex` counts its starts, then becomes the fake.
    fs::path bin = testing::FakePrograms::binFolder(folder);
    testing::FakePrograms::installAt("codex", bin / "codex-fake");
    testing::FakePrograms::installScript(
        folder, "codex",
        "#!/bin/sh\necho started >> \"$HOME/codex-starts\"\nexec \"$(dirname \"$0\")/codex-fake\" "
        "\"$@\"\n");
  }

  int codexStarts() const {
    std::string starts = readFile(home / "codex-starts");
    return static_cast<int>(std::count(starts.begin(), starts.end(), '\n'));
  }
  int claudeRequests() const { return static_cast<int>(server.requests().size()); }

  fs::path stateFile(const std::string& provider) const {
    return locations.pollStateFolder() / (provider + ".json");
  }
  // What another process of the user would have left in a provider's poll state.
  template <typename Change>
  void changeState(const std::string& provider, Change change) {
    ASSERT_TRUE(fs::exists(stateFile(provider))) << provider;
    // Under the lock and atomically, as the program writes it: a process may be reading it.
    auto hold = PollStateStore::inFolder(locations.pollStateFolder())->hold(provider);
    ASSERT_TRUE(hold);
    change(hold->state);
    ASSERT_TRUE(hold->commit());
  }
  // Both providers were last asked long ago: the next run asks them.
  void makeBothDue() {
    for (const char* provider : {"claude", "codex"}) {
      changeState(provider, [](PollState& state) {
        state.lastAttempt = addingSeconds(std::chrono::system_clock::now(), -7200);
      });
    }
  }

  FileLocations locations = folder.locations();
};

TEST_F(StatusLinesTest, TwoHundredRunsInARowAskEachProviderOnce) {
  auto first = run({"--print"});
  ASSERT_EQ(first.status, 0) << first.err;
  for (int i = 1; i < 200; ++i) {
    auto again = run({"--print"});
    ASSERT_EQ(again.status, 0) << "run " << i << ": " << again.err;
    ASSERT_EQ(again.out, first.out) << "run " << i;
  }
  EXPECT_EQ(claudeRequests(), 1);
  EXPECT_EQ(codexStarts(), 1);
}

// Fifty panes refresh at the same moment, both providers due, a reading stored. The Claude
// request and the `codex` exchange are held until the other runs have ended: those did not wait.
TEST_F(StatusLinesTest, FiftyRunsAtOnceAskEachDueProviderOnceAndNoneWaits) {
  auto stored = run({"--print"});
  ASSERT_EQ(stored.status, 0) << stored.err;
  makeBothDue();
  server.respondWith(LoopbackHttpServer::answer(
      200, R"({"five_hour": {"utilization": 10}, "seven_day": {"utilization": 50}})"));
  server.hold();
  writeFile(home / ".local/bin/codex.answer",
            R"({"rateLimits": {"planType": "pro", "primary": {"usedPercent": 70,
                "windowDurationMins": 10080}}})");
  testing::FakePrograms::setMode(folder, "codex", "gated");

  std::vector<std::future<testing::ProgramResult>> runs;
  for (int i = 0; i < 50; ++i) {
    runs.push_back(std::async(std::launch::async,
                              [this, i] { return run({"--print"}, "run-" + std::to_string(i)); }));
  }
  auto finished = [&runs] {
    return std::count_if(runs.begin(), runs.end(), [](auto& each) {
      return each.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
  };
  testing::ProcessChecks::eventually([&] { return finished() >= 48; }, 120);
  EXPECT_EQ(finished(), 48) << "runs waited for another run's request";
  EXPECT_EQ(claudeRequests(), 2);
  EXPECT_EQ(codexStarts(), 2);

  // The `codex` exchange ends first, then the Claude request.
  writeFile(home / ".local/bin/codex.gate", "");
  testing::ProcessChecks::eventually([&] { return finished() >= 49; }, 120);
  server.release();

  std::multiset<std::string> lines;
  for (auto& each : runs) {
    auto result = each.get();
    EXPECT_EQ(result.status, 0) << result.err;
    lines.insert(result.out);
  }
  EXPECT_EQ(claudeRequests(), 2);
  EXPECT_EQ(codexStarts(), 2);
  EXPECT_EQ(lines.count(stored.out), 48u);
  // The run that asked Codex shows the stored Claude reading and the new Codex one; the run that
  // asked Claude shows both new readings.
  std::vector<std::string> old = segments(stored.out), others;
  for (const auto& line : lines) {
    if (line != stored.out) others.push_back(line);
  }
  ASSERT_EQ(others.size(), 2u);
  auto codexAsker = segments(others[0]), claudeAsker = segments(others[1]);
  if (codexAsker[0] != old[0]) std::swap(codexAsker, claudeAsker);
  EXPECT_EQ(codexAsker[0], old[0]);
  EXPECT_NE(codexAsker[1], old[1]);
  EXPECT_NE(claudeAsker[0], old[0]);
  EXPECT_EQ(claudeAsker[1], codexAsker[1]);
}

TEST_F(StatusLinesTest, ARateLimitOrABackOffKeepsEveryProcessQuietUntilItEnds) {
  for (int status : {429, 500}) {
    SCOPED_TRACE(status);
    fs::remove_all(locations.pollStateFolder());
    server.respondWith(LoopbackHttpServer::answer(status, ""));
    int asked = claudeRequests();
    ASSERT_EQ(run({"--print"}).status, 0);
    ASSERT_EQ(claudeRequests(), asked + 1);
    auto failed = PollStateCoding::decode(readFile(stateFile("claude")), "claude");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->rateLimited, status == 429);

    // Past the fifteen-minute interval, inside the thirty-minute quiet.
    changeState("claude", [](PollState& state) {
      state.lastAttempt = addingSeconds(state.lastAttempt, -1200);
    });
    for (int i = 0; i < 5; ++i) run({"--print"});
    EXPECT_EQ(claudeRequests(), asked + 1);

    changeState("claude", [](PollState& state) {
      state.retryAfter = addingSeconds(std::chrono::system_clock::now(), -1);
    });
    run({"--print"});
    EXPECT_EQ(claudeRequests(), asked + 2);
  }
}

TEST_F(StatusLinesTest, AStoredReadingTheLastAttemptDidNotProduceIsShownAsCached) {
  ASSERT_EQ(run({"--print"}).status, 0);
  // Claude's stored reading edited to five days old, and the endpoint refusing.
  auto stored =
      SnapshotStore::load(SnapshotStore::sevenDays, std::chrono::system_clock::now(), locations);
  ASSERT_TRUE(stored);
  for (auto& provider : stored->providers) {
    if (provider.id == "claude")
      provider.observedAt = addingSeconds(*provider.observedAt, -5 * 86400);
  }
  SnapshotStore::save(*stored, locations);
  makeBothDue();
  server.respondWith(LoopbackHttpServer::answer(429, ""));

  auto print = run({"--print"});
  EXPECT_EQ(segments(print.out)[0], "Claude Code\u00B0 Max 5h \u21BB 7d 13%");
  auto json = JsonText::parse(run({"--json"}).out);
  ASSERT_TRUE(json);
  EXPECT_EQ((*json)["providers"][0]["id"], "claude");
  EXPECT_EQ((*json)["providers"][0]["state"], "cached");
  EXPECT_EQ((*json)["providers"][1]["state"], "live");
}

// Every reading is stored and vouched for by a poll state that is not due, so no provider is
// asked and the output follows from the stored numbers alone.
TEST_F(StatusLinesTest, WaybarGetsOneJsonObjectForEveryKindOfReading) {
  struct Row {
    const char* name;
    std::optional<double> claudeUsed;
    double minutesOld;
    std::string cssClass;
    std::optional<int> percentage;
    int status;
  };
  const Row rows[] = {{"no reading", std::nullopt, 0, "none", std::nullopt, 1},
                      {"normal", 40, 0, "normal", 60, 0},
                      {"warning", 85, 0, "warning", 15, 0},
                      {"critical", 95, 0, "critical", 5, 0},
                      {"stale", 40, 45, "stale", 60, 0}};
  writeFile(home / ".config/meterwright/config.json",
            R"({"providers": [{"id": "claude"}, {"id": "codex", "enabled": false}]})");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Date now = std::chrono::system_clock::now();
    Date observed = addingSeconds(now, -60 * row.minutesOld);
    fs::remove(storedReading());
    if (row.claudeUsed) {
      ProviderSnapshot claude{
          "claude", "Claude Code",
          "Max",    "live",
          observed, {{300, *row.claudeUsed, addingSeconds(now, 7230), {}}, {10080, 10, {}, {}}}};
      SnapshotStore::save({observed, {claude}, std::nullopt, "direct"}, locations);
    }
    for (const char* provider : {"claude", "codex"}) {
      auto hold = PollStateStore::inFolder(locations.pollStateFolder())->hold(provider);
      hold->state.lastAttempt = now;
      hold->state.lastReadingObservedAt = std::chrono::floor<std::chrono::seconds>(observed);
      hold->commit();
    }

    auto print = run({"--print"});
    auto waybar = run({"--waybar"});
    EXPECT_EQ(waybar.status, row.status);
    ASSERT_EQ(waybar.out.back(), '\n');
    EXPECT_EQ(waybar.out.find('\n'), waybar.out.size() - 1) << "one line";
    auto object = JsonText::parse(waybar.out);
    ASSERT_TRUE(object && object->is_object()) << waybar.out;
    EXPECT_EQ((*object)["text"].get<std::string>() + "\n", print.out);
    EXPECT_EQ((*object)["class"], row.cssClass);
    if (row.percentage) {
      EXPECT_EQ((*object)["percentage"], *row.percentage);
      std::string tooltip = (*object)["tooltip"];
      EXPECT_EQ(tooltip.substr(0, tooltip.find('\n')),
                "Claude 5h  " + std::to_string(*row.percentage) + "% left \u00B7 resets in 2h");
      EXPECT_EQ(std::count(tooltip.begin(), tooltip.end(), '\n'), 1) << "one line per window";
    } else {
      EXPECT_FALSE(object->contains("percentage"));
      EXPECT_EQ((*object)["tooltip"], "");
    }
  }
}

// `meterwright --print --follow` as a status bar runs it: its output a pipe (Waybar, polybar) or
// a terminal.
class FollowTest : public StatusLinesTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool onTerminal() const { return GetParam(); }

  void start() {
    environment["FAKE_CODEX_RECORD"] = (folder.path() / "codex-record").string();
    ChildProcess::Launch launch;
    launch.executable = METERWRIGHT_EXECUTABLE;
    launch.arguments = {"--print", "--follow"};
    for (const auto& [name, value] : environment) launch.environment.set(name, value);
    if (onTerminal()) {
      terminal = PseudoTerminal::open();
      ASSERT_TRUE(terminal);
      launch.output = ChildProcess::Stream::terminal;
      launch.terminal = terminal->slave();
    } else {
      launch.output = ChildProcess::Stream::pipe;
    }
    child = ChildProcess::start(launch);
    ASSERT_TRUE(child);
    if (terminal) terminal->closeSlave();
  }

  // The next whole line, waiting up to a minute (the first reading starts `codex`).
  std::string nextLine() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (pending.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      if (terminal) {
        if (terminal->waitReadable(0.1)) pending += terminal->read(4096);
      } else {
        child->readOutput(deadline, [this](std::string_view chunk) {
          pending.append(chunk);
          return pending.find('\n') == std::string::npos;
        });
      }
    }
    std::size_t end = pending.find('\n');
    if (end == std::string::npos) return "(no line)";
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    std::erase(line, '\r');  // a terminal ends lines with CR LF
    return line;
  }

  // Another process fetched Claude: its poll state and the stored reading say so.
  void storeClaude(double usedPercent, double secondsAhead) {
    Date observed = std::chrono::floor<std::chrono::seconds>(
        addingSeconds(std::chrono::system_clock::now(), secondsAhead));
    changeState("claude", [&](PollState& state) { state.lastReadingObservedAt = observed; });
    ProviderSnapshot claude{"claude", "Claude Code",
                            "Max",    "live",
                            observed, {{300, usedPercent, {}, {}}, {10080, usedPercent, {}, {}}}};
    SnapshotStore::merge({claude}, observed, locations);
  }

  std::optional<PseudoTerminal> terminal;
  std::optional<ChildProcess> child;
  std::string pending;
};

TEST_P(FollowTest, WritesALineOnStartAndOnChangeOnlyAndEndsWithItsReader) {
  start();
  std::string first = nextLine();
  EXPECT_EQ(first, "Claude Code Max 5h \u21BB 7d 13%  \u00B7  GPT Codex Plus 7d \u21BB left");
  pid_t codex = std::stoi(readFile(folder.path() / "codex-record.pid"));

  storeClaude(99, 5);
  std::string second = nextLine();
  EXPECT_EQ(second, "Claude Code Max 5h 1% 7d 1%  \u00B7  GPT Codex Plus 7d \u21BB left");
  // The stored reading rewritten byte for byte wakes the loop but changes nothing: no line. The
  // next change's line comes next, not a repeat.
  fs::path file = storedReading();
  AtomicFile::write(file, readFile(file));
  storeClaude(1, 10);
  std::string third = nextLine();
  EXPECT_NE(third, second);
  EXPECT_NE(third, first);
  EXPECT_EQ(claudeRequests(), 1);
  EXPECT_EQ(codexStarts(), 1);

  if (terminal) {
    terminal->closeMaster();
  } else {
    child->closeOutput();
  }
  EXPECT_TRUE(child->waitForExit(5)) << "still running after its reader went away";
  EXPECT_EQ(child->exitStatus(), 0);
  EXPECT_TRUE(testing::ProcessChecks::processEnds(codex));
}

INSTANTIATE_TEST_SUITE_P(PipeAndTerminal, FollowTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "terminal" : "pipe"; });

}  // namespace
}  // namespace meterwright
