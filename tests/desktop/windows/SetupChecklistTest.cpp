#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "desktop/windows/SetupChecklist.h"
#include "desktop/windows/SetupWindowController.h"

namespace meterwright {
namespace {

using SetupChecklist::Facts;
using Authorization = Notifier::Authorization;

const SourceFailure notSignedIn{"Claude Code has not signed in on this computer",
                                "Run `claude` once to sign in.", true};
const SourceFailure offline{"Codex App-Server did not answer", "Check the network.", false};

ProviderSnapshot providerWithData(const std::string& id) {
  return {id, id, std::nullopt, "live", Date{}, {{300, 20, std::nullopt, std::nullopt}}};
}

// The steps with every button recorded instead of run.
class SetupChecklistTest : public ::testing::Test {
 protected:
  SetupChecklistTest() {
    facts.claudeExecutable = "/home/u/.local/bin/claude";
    facts.codexExecutable = "/home/u/.local/bin/codex";
    actions.runInTerminal = [this](const std::string& command, const std::string& title) {
      ran.push_back(command + " | " + title);
    };
    actions.openNotificationSettings = [this] { ran.push_back("settings"); };
    actions.askForNotifications = [this] { ran.push_back("ask"); };
    actions.turnOnLoginItem = [this] { ran.push_back("login"); };
    actions.setWakeSchedule = [this](bool on) { ran.push_back(on ? "wake on" : "wake off"); };
  }
  Step step(std::size_t index) { return SetupChecklist::steps(facts, actions).at(index); }
  // The step's button title, after clicking it; nothing when it has none.
  std::optional<std::string> click(const Step& step) {
    if (!step.action) return std::nullopt;
    step.action->second();
    return step.action->first;
  }

  Facts facts;
  SetupChecklist::Actions actions;
  std::vector<std::string> ran;
};

TEST_F(SetupChecklistTest, AProviderStepFollowsItsReport) {
  struct Case {
    std::optional<std::string> executable;
    ProviderReport report;
    std::string detail;
    bool done;
    std::optional<std::string> button;
  };
  const Case cases[] = {
      {std::nullopt,
       {},
       "Codex CLI not installed on this computer. Meterwright will pick it up automatically once "
       "it is.",
       false,
       std::nullopt},
      {"/bin/codex", {}, "Found. Waiting for the first reading.", false, "Sign in"},
      // Only the user can cure this one: no "Trying again", though a wait is pending.
      {"/bin/codex",
       {false, false, notSignedIn, 120},
       "Claude Code has not signed in on this computer. Run `claude` once to sign in.",
       false,
       "Sign in"},
      {"/bin/codex",
       {false, false, offline, 180},
       "Codex App-Server did not answer. Check the network. Trying again in 3m.",
       false,
       "Sign in"},
      {"/bin/codex",
       {true, false, offline, 65},
       "Connected through the local Codex app-server. Latest refresh: codex app-server did not "
       "answer. Trying again in 1m.",
       true,
       "Sign in"},
      {"/bin/codex",
       {true, true, std::nullopt, 30},
       "Connected through the local Codex app-server.",
       true,
       std::nullopt},
  };
  for (const Case& test : cases) {
    facts.codexExecutable = test.executable;
    facts.codex = test.report;
    ran.clear();
    Step codex = step(1);
    EXPECT_EQ(codex.title, "GPT Codex");
    EXPECT_EQ(codex.detail, test.detail);
    EXPECT_EQ(codex.done, test.done) << test.detail;
    EXPECT_EQ(click(codex), test.button) << test.detail;
    if (test.button) {
      EXPECT_EQ(ran, (std::vector<std::string>{"'/bin/codex' login | Sign in to Codex"}));
    }
  }
}

TEST_F(SetupChecklistTest, AReportMatchesItsProviderIgnoringCaseAndIsCurrentOnlyWithoutAFailure) {
  Snapshot reading{Date{}, {providerWithData("Codex")}, std::nullopt, "direct"};
  EXPECT_EQ(SetupChecklist::report("codex", reading, {}, 0), (ProviderReport{true, true, {}, 0}));
  EXPECT_EQ(SetupChecklist::report("codex", reading, {{"codex", offline}}, 12),
            (ProviderReport{true, false, offline, 12}));
  // Kept, but with no numbers: a reading without data is not a connection.
  reading.providers[0].windows.clear();
  reading.providers[0].state = "unavailable";
  EXPECT_EQ(SetupChecklist::report("CODEX", reading, {}, -4), (ProviderReport{false, true, {}, 0}));
  EXPECT_EQ(SetupChecklist::report("claude", reading, {}, 0), (ProviderReport{}));
  EXPECT_EQ(SetupChecklist::report("claude", std::nullopt, {{"claude", notSignedIn}}, 0),
            (ProviderReport{false, false, notSignedIn, 0}));
}

TEST_F(SetupChecklistTest, TheRetryNoteAppearsOnlyWhileAManualReadingMustWait) {
  EXPECT_EQ(SetupWindowController::retryNote({false, false, std::nullopt, 0}), std::nullopt);
  EXPECT_EQ(SetupWindowController::retryNote({false, false, std::nullopt, 7500}),
            "Trying again in 2h 5m.");
}

TEST_F(SetupChecklistTest, TheWakeSentenceTakesTheTimeFromTheScheduleText) {
  const std::pair<std::string, std::string> cases[] = {
      {"wakepoweron at 8:00AM every day", "8:00AM"},
      {"Repeating power events: wake at 8:00 PM every day", "8:00 PM"},
      {"Tue 2026-12-08 08:00:00 CET", "08:00"},
      {"in a while", "in a while"},
      {"wake at 08:00 daily", "08:00"},
      {"at 8:00 daily", "at 8:00 daily"},
  };
  for (const auto& [text, time] : cases) {
    facts.scheduledWake = text;
    Step wake = step(4);
    EXPECT_TRUE(wake.done);
    EXPECT_EQ(wake.detail, "This computer wakes at " + time +
                               " every day, publishes a reading, and goes back to sleep. Nothing "
                               "runs while this computer is suspended, so a scheduled wake is the "
                               "only chance it gets.");
  }
  EXPECT_EQ(click(step(4)), "Turn off");
  facts.scheduledWake.reset();
  facts.wakeError = "The system refused: no.";
  Step off = step(4);
  EXPECT_FALSE(off.done);
  EXPECT_TRUE(off.detail.ends_with(" gets. The system refused: no.")) << off.detail;
  EXPECT_EQ(click(off), "Turn on");
  EXPECT_EQ(ran, (std::vector<std::string>{"wake off", "wake on"}));
}

TEST_F(SetupChecklistTest, NotificationsAndLoginFollowTheirState) {
  struct Case {
    Authorization authorization;
    bool done;
    std::optional<std::string> button;
    std::string ran;
  };
  facts.warnBelowRemainingPercent = 15;
  for (const Case& test :
       {Case{Authorization::allowed, true, std::nullopt, ""},
        Case{Authorization::allowedSilently, true, "Open Desktop Settings", "settings"},
        Case{Authorization::denied, false, "Open Desktop Settings", "settings"},
        Case{Authorization::notAsked, false, "Ask now", "ask"},
        Case{Authorization::unknown, false, "Ask now", "ask"}}) {
    facts.notifications = test.authorization;
    ran.clear();
    Step notifications = step(2);
    EXPECT_EQ(notifications.done, test.done);
    EXPECT_EQ(click(notifications), test.button);
    EXPECT_EQ(ran, test.ran.empty() ? std::vector<std::string>{} : std::vector{test.ran});
  }
  facts.notifications = Authorization::allowed;
  EXPECT_EQ(step(2).detail, "Warnings arrive when a window drops below 15% left.");

  ran.clear();
  Step off = step(3);
  EXPECT_FALSE(off.done);
  EXPECT_EQ(click(off), "Turn on");
  EXPECT_EQ(ran, (std::vector<std::string>{"login"}));
  facts.loginItemEnabled = true;
  Step on = step(3);
  EXPECT_TRUE(on.done);
  EXPECT_FALSE(on.action);
}

TEST(SetupChecklist, AnExecutablePathStaysOneShellWord) {
  EXPECT_EQ(SetupChecklist::shellQuoted("/opt/it's here/claude"), "'/opt/it'\\''s here/claude'");
}

}  // namespace
}  // namespace meterwright
