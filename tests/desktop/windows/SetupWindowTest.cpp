#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/json/JsonText.h"
#include "core/providers/ProviderRegistry.h"
#include "core/readers/CompositeSource.h"
#include "core/settings/UserDefaults.h"
#include "desktop/CompositionRoot.h"
#include "desktop/readers/claude/ClaudeSessionRenewer.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/GtkOnVirtualDisplay.h"
#include "desktop/windows/SetupWindowController.h"
#include "desktop/windows/X11Input.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/http/CurlHttpTransport.h"
#include "platform/power/SleepSchedule.h"
#include "support/FakePrograms.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "support/MemorySecretStore.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace FakePrograms = testing::FakePrograms;
using ShownStep = SetupWindowController::ShownStep;

constexpr std::size_t claudeRow = 0, codexRow = 1, wakeRow = 4;
const char* const helper = "/usr/libexec/meterwright-wake-helper";

// The window over the real readers, the fake `claude` and `codex`, a manual clock and scheduler,
// and a wake schedule whose pkexec and systemctl are recorders. Blocking work runs at once, so
// one tick of the scheduler is one whole refresh.
class SetupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string& problem = testing::gtkOnVirtualDisplay(); !problem.empty())
      GTEST_SKIP() << problem;
    environment.set("HOME", locations.home.string());
    for (const char* name : {"pkexec", "systemctl"}) FakePrograms::installRecorder(folder, name);
  }

  void TearDown() override {
    window.reset();
    MainLoopWait::run(0);
  }

  // The composite source over the real readers, as the application builds it.
  std::shared_ptr<CompositeSource> makeSource() {
    ReaderContext context{locations,
                          environment,
                          clock,
                          std::make_shared<CurlHttpTransport>(),
                          std::make_shared<testing::MemorySecretStore>(*clock),
                          std::make_shared<ClaudeSessionRenewer>(locations, environment, clock),
                          {}};
    context.deadlines.codexExchange = 10;
    context.deadlines.terminationGrace = 0.3;
    root = std::make_unique<CompositionRoot>(context, false);
    Config config = Config::fallback();
    config.providers = {ProviderConfig::defaults("claude"), ProviderConfig::defaults("codex")};
    return std::shared_ptr<CompositeSource>(root->compositeSource(true, config));
  }

  void open(std::shared_ptr<CompositeSource> source = nullptr) {
    make(std::move(source));
    ASSERT_TRUE(window->show());
    ASSERT_TRUE(MainLoopWait::until([&] { return window->isLaidOut(); }, 20));
  }

  void make(std::shared_ptr<CompositeSource> source = nullptr, bool dark = false) {
    SetupWindowController::Options options;
    options.dark = dark;
    options.scheduler = scheduler;
    options.background = [](std::function<void()> job) { job(); };
    options.toMainThread = [](std::function<void()> job) { job(); };
    options.locations = locations;
    options.environment = environment;
    options.source = [source] { return source; };
    options.notificationAuthorization = [] { return Notifier::Authorization::allowed; };
    options.loginItem = LoginItem(locations.home / ".config" / "autostart", "/usr/bin/meterwright");
    options.sleepSchedule = std::make_shared<SleepSchedule>(
        *clock, SleepSchedule::Options{EnvironmentBlock({"PATH=" + bin.string()}), helper});
    options.runInTerminal = [this](const std::string& command, const std::string& title) {
      terminalRuns.push_back({command, title});
      return true;
    };
    window = std::make_unique<SetupWindowController>(std::move(options));
    window->onFinished = [this] { ++finished; };
  }

  bool setupCompleted() const {
    return UserDefaults(locations.userDefaultsFile()).boolean("setupCompleted.v1");
  }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  std::filesystem::path bin = FakePrograms::binFolder(folder);
  EnvironmentBlock environment = FakePrograms::cleanEnvironment();
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<testing::ManualScheduler> scheduler =
      std::make_shared<testing::ManualScheduler>(*clock);
  std::unique_ptr<CompositionRoot> root;
  std::vector<std::vector<std::string>> terminalRuns;
  int finished = 0;
  std::unique_ptr<SetupWindowController> window;
};

TEST_F(SetupWindowTest, ClaudeInstalledButNotSignedInAsksTheUserToOpenClaudeCode) {
  std::string claude = FakePrograms::install(folder, "claude").string();
  std::shared_ptr<CompositeSource> source = makeSource();
  open(source);
  // A manual reading would have to wait, yet only the user can cure this: no "Trying again".
  EXPECT_GT(source->nativeSource("claude")->manualRefreshAvailableIn(), 0);
  EXPECT_EQ(window->shownSteps().at(claudeRow),
            (ShownStep{"Claude Code",
                       "Claude Code has not signed in on this computer. Run `claude` in a terminal "
                       "and sign in once. Meterwright reads the sign-in it leaves behind; there is "
                       "nothing to paste here.",
                       false, "Open Claude Code"}));
  window->clickStep(claudeRow);
  EXPECT_EQ(terminalRuns, (std::vector<std::vector<std::string>>{
                              {"'" + claude + "' auth status", "Check Claude Code"}}));
}

TEST_F(SetupWindowTest, CodexTurnsDoneAtTheFirstRefreshAfterItAnswersAgain) {
  FakePrograms::install(folder, "codex");
  FakePrograms::setMode(folder, "codex", "error");
  std::shared_ptr<CompositeSource> source = makeSource();
  open(source);
  ShownStep failing = window->shownSteps().at(codexRow);
  EXPECT_FALSE(failing.done);
  EXPECT_EQ(failing.button, "Sign in");

  // Codex answers from now on, and its back-off has run out; the window has not looked yet.
  FakePrograms::setMode(folder, "codex", "answer");
  clock->set(source->nativeSource("codex")->nextAttempt());
  EXPECT_EQ(window->shownSteps().at(codexRow), failing);

  scheduler->advance(2);
  EXPECT_EQ(window->shownSteps().at(codexRow),
            (ShownStep{"GPT Codex", "Connected through the local Codex app-server.", true,
                       std::nullopt}));
}

// A dismissed prompt (126) shows nothing; a refusal (127) only its text, in the wake step.
TEST_F(SetupWindowTest, ARefusedPasswordPromptShowsOnlyTheRefusalInTheWakeStep) {
  struct Case {
    int pkexecStatus;
    std::string refusal;
  };
  for (const Case& test :
       {Case{126, ""},
        Case{127, "The system refused: not authorised to change the wake schedule"}}) {
    testing::writeFile(bin / "pkexec.status", std::to_string(test.pkexecStatus) + "\n");
    open();
    std::vector<ShownStep> before = window->shownSteps();
    ASSERT_EQ(before.at(wakeRow).button, "Turn on");
    window->clickStep(wakeRow);

    std::vector<ShownStep> after = window->shownSteps();
    EXPECT_EQ(after.at(wakeRow).detail,
              before.at(wakeRow).detail + (test.refusal.empty() ? "" : " " + test.refusal));
    EXPECT_FALSE(after.at(wakeRow).done);
    for (std::size_t row = 0; row < after.size(); ++row) {
      if (row != wakeRow) {
        EXPECT_EQ(after[row], before[row]) << row;
      }
    }
    EXPECT_EQ(FakePrograms::recordedRuns(folder, "pkexec").back(),
              (std::vector<std::string>{helper, "install", "08:00:00"}));
  }
}

TEST_F(SetupWindowTest, AScheduledWakeShowsItsTimeAndOffersToTurnItOff) {
  testing::writeFile(bin / "systemctl.say", "Tue 2026-12-08 08:00:00 CET\n");
  open();
  ShownStep wake = window->shownSteps().at(wakeRow);
  EXPECT_TRUE(wake.done);
  EXPECT_TRUE(wake.detail.starts_with("This computer wakes at 08:00 every day")) << wake.detail;
  EXPECT_EQ(wake.button, "Turn off");
  window->clickStep(wakeRow);
  EXPECT_EQ(FakePrograms::recordedRuns(folder, "pkexec").back(),
            (std::vector<std::string>{helper, "remove"}));
}

TEST_F(SetupWindowTest, ClosingItAnyWayMarksSetupCompletedAndDiscardsTheTokenHandOff) {
  enum class Way { done, closeBox, returnKey };
  for (Way way : {Way::done, Way::closeBox, Way::returnKey}) {
    std::filesystem::remove(locations.userDefaultsFile());
    open();
    auto handoff = folder.path() / "handoff";
    testing::writeFile(handoff, "sk-ant-oat01-secret");
    window->tokenSetup().setHandoffFile(handoff);
    ASSERT_FALSE(setupCompleted());
    ASSERT_GT(scheduler->pending(), 0u);

    int finishedBefore = finished;
    switch (way) {
      case Way::done:
        window->clickDone();
        break;
      case Way::closeBox:
        // What the window manager's close box asks for.
        window->close();
        break;
      case Way::returnKey: {
        GtkWidget* probe = g_object_ref_sink(gtk_label_new(""));
        std::string problem = testing::X11Input::pressReturn(probe);
        g_object_unref(probe);
        if (!problem.empty()) GTEST_SKIP() << problem;
        MainLoopWait::until([&] { return !window->isVisible(); }, 10);
        break;
      }
    }
    EXPECT_FALSE(window->isVisible()) << int(way);
    EXPECT_TRUE(setupCompleted()) << int(way);
    EXPECT_EQ(finished, finishedBefore + 1) << int(way);
    EXPECT_EQ(scheduler->pending(), 0u) << int(way);
    EXPECT_FALSE(std::filesystem::exists(handoff)) << int(way);
  }
}

// Every text the window can show, by key.
const char* const windowKeys[] = {
    "common.done",
    "setup.askNow",
    "setup.claude.button",
    "setup.claude.connected",
    "setup.claude.notInstalled",
    "setup.claude.terminalTitle",
    "setup.codex.button",
    "setup.codex.connected",
    "setup.codex.notInstalled",
    "setup.codex.terminalTitle",
    "setup.heading",
    "setup.keychainNotice",
    "setup.latestRefresh",
    "setup.login.button",
    "setup.login.off",
    "setup.login.on",
    "setup.login.title",
    "setup.notifications.denied",
    "setup.notifications.notAsked",
    "setup.notifications.on",
    "setup.notifications.silent",
    "setup.notifications.title",
    "setup.openSettings",
    "setup.subheading",
    "setup.tryingAgain",
    "setup.waitingFirstReading",
    "setup.wake.failed",
    "setup.wake.noPowerNap",
    "setup.wake.off",
    "setup.wake.on",
    "setup.wake.title",
    "setup.wake.turnOff",
    "setup.wake.turnOn",
    "setup.window.title",
};

std::optional<nlohmann::json> table(const std::string& language) {
  for (const auto& [name, text] : desktopStringBundle().tables)
    if (name == language) return JsonText::parse(text);
  return std::nullopt;
}

TEST_F(SetupWindowTest, EveryTextIsInTheGermanTableAndTheGermanWindowFits) {
  std::optional<nlohmann::json> german = table("de");
  ASSERT_TRUE(german);
  for (const char* key : windowKeys) EXPECT_TRUE(german->contains(key)) << key;

  desktopText().choose(std::vector<std::string>{"de"});
  FakePrograms::install(folder, "claude");
  open(makeSource());
  EXPECT_EQ(window->shownSteps().at(2).title, (*german)["setup.notifications.title"]);
  EXPECT_EQ(window->clippedTexts(), std::vector<std::string>{});
  // The longest wake detail: with a refusal appended.
  testing::writeFile(bin / "pkexec.status", "127\n");
  window->clickStep(wakeRow);
  MainLoopWait::run(0.2);
  EXPECT_EQ(window->clippedTexts(), std::vector<std::string>{});
  if (const char* kept = std::getenv("METERWRIGHT_SCREENSHOTS")) {
    std::optional<std::string> png = window->previewImage();
    ASSERT_TRUE(png);
    testing::writeFile(std::filesystem::path(kept) / "setup-assistant-de.png", *png);
  }
  desktopText().choose(std::nullopt);
}

// Whether the picture is, on the whole, dark.
bool mostlyDark(const std::filesystem::path& png, int& width, int& height) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    width = height = 0;
    return false;
  }
  width = cairo_image_surface_get_width(image);
  height = cairo_image_surface_get_height(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  int stride = cairo_image_surface_get_stride(image);
  double sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) sum += data[y * stride + x * 4 + 1];  // green
  cairo_surface_destroy(image);
  return sum / (double(width) * height) < 128;
}

// Screenshots: set METERWRIGHT_SCREENSHOTS to a folder to keep them.
TEST_F(SetupWindowTest, ThePreviewIsTheFilledWindowInEitherAppearance) {
  const char* kept = std::getenv("METERWRIGHT_SCREENSHOTS");
  std::filesystem::path out = kept ? std::filesystem::path(kept) : folder.path();
  std::filesystem::create_directories(out);
  FakePrograms::install(folder, "claude");
  for (bool dark : {false, true}) {
    make(makeSource(), dark);
    std::optional<std::string> png = window->previewImage();
    ASSERT_TRUE(png);
    auto path = out / (std::string("setup-assistant-") + (dark ? "dark" : "light") + ".png");
    testing::writeFile(path, *png);
    int width = 0, height = 0;
    EXPECT_EQ(mostlyDark(path, width, height), dark);
    EXPECT_GE(width, SetupWindowLayout::width);
    EXPECT_GE(height, SetupWindowLayout::minimumHeight);
    // Put away again, not closed: setup is not completed by a preview.
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(setupCompleted());
    EXPECT_EQ(scheduler->pending(), 0u);
  }
}

}  // namespace
}  // namespace meterwright
