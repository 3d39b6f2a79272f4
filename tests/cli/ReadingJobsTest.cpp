#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "cli/ReadingJobsFixture.h"
#include "core/json/JsonText.h"
#include "core/time/Iso8601.h"
#include "support/ProcessChecks.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackHttpServer;

using ReadingJobsTest = testing::ReadingJobsFixture;

// Where the stored reading is written is checked here; that a later run falls back on it is
// CompositeSourceTest's.
TEST_F(ReadingJobsTest, PrintShowsEveryEnabledProviderAndStoresTheReading) {
  auto result = run({"--print"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "Claude Code Max 5h \u21BB 7d 13%  \u00B7  GPT Codex Plus 7d \u21BB left\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_TRUE(fs::exists(storedReading()));
}

TEST_F(ReadingJobsTest, JsonListsTheConfiguredProvidersWithWholeNumbers) {
  // Codex disabled, Claude configured in capitals and with both windows.
  testing::writeFile(home / ".config" / "meterwright" / "config.json",
                     R"({"providers": [{"id": "codex", "enabled": false},
                                       {"id": "CLAUDE", "windows": [10080, 300]}]})");
  auto before = std::chrono::system_clock::now();
  auto result = run({"--json", "--allow-keychain"});
  auto after = std::chrono::system_clock::now();
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");

  // The one moving part is the reading's time: checked, then set aside.
  std::smatch found;
  ASSERT_TRUE(std::regex_search(result.out, found, std::regex("\"generatedAt\": \"([^\"]+)\"")));
  auto generatedAt = Iso8601::parse(found[1].str());
  ASSERT_TRUE(generatedAt);
  EXPECT_GE(*generatedAt, std::chrono::floor<std::chrono::seconds>(before));
  EXPECT_LE(*generatedAt, after);
  std::string text = std::regex_replace(result.out, std::regex(found[1].str()), "…");
  EXPECT_EQ(text, R"({
  "generatedAt": "…",
  "providers": [
    {
      "id": "claude",
      "name": "Claude Code",
      "plan": "Max",
      "state": "live",
      "windows": [
        {
          "label": "7d",
          "remainingPercent": 13,
          "usedPercent": 88,
          "windowMinutes": 10080
        },
        {
          "label": "5h",
          "remainingPercent": 58,
          "resetsAt": "2024-01-01T10:00:00Z",
          "resetsInSeconds": 0,
          "usedPercent": 42,
          "windowMinutes": 300
        }
      ]
    }
  ]
}
)");
}

TEST_F(ReadingJobsTest, WithoutAnyReadingPrintSaysSoAndJsonWritesNothing) {
  fs::remove(home / ".claude" / ".credentials.json");
  testing::FakePrograms::setMode(folder, "codex", "exit");

  auto print = run({"--print"});
  EXPECT_EQ(print.status, 1);
  EXPECT_EQ(print.out, "Meterwright \u2014\n");

  auto json = run({"--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.out, "");
  EXPECT_EQ(json.err, "no snapshot source available\n");
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(fs::exists(storedReading()));
}

TEST_F(ReadingJobsTest, ReadersThatNeverAnswerCostNoMoreThanTheirDeadlines) {
  // 15 s for the endpoint, then 20 s for the app-server, plus process starts.
  server.respondWith(LoopbackHttpServer::silence());
  testing::FakePrograms::setMode(folder, "codex", "silent");
  testing::ProgramResult result;
  EXPECT_LT(testing::ProcessChecks::secondsTaken([&] { result = run({"--print"}); }), 45);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Meterwright \u2014\n");
}

TEST_F(ReadingJobsTest, DisabledProvidersAreNeverAsked) {
  testing::writeFile(home / ".config" / "meterwright" / "config.json",
                     R"({"providers": [{"id": "claude", "enabled": false},
                                       {"id": "codex", "enabled": false}]})");
  environment["FAKE_CODEX_RECORD"] = (folder.path() / "codex.record").string();
  for (const char* job : {"--print", "--json"}) {
    auto result = run({job, "--allow-keychain"});
    EXPECT_EQ(result.status, 1) << job;
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(fs::exists(folder.path() / "codex.record.pid"));
}

// Without a display or a session bus (the environment names neither): every surface is drawn
// into memory and saved at its scale, in light and dark, and the settings window on an X server
// of the run's own.
TEST_F(ReadingJobsTest, PreviewSavesEverySurfaceWithoutADisplay) {
  fs::path temporary = folder.path() / "tmp";
  environment["TMPDIR"] = temporary.string();
  auto result = run({"--preview"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "touch bar private API available: false\n");
  std::map<std::string, std::pair<int, int>> sizes;
  for (const auto& file : fs::directory_iterator(temporary / "meterwright-preview")) {
    std::string bytes = testing::readFile(file.path());
    auto number = [&](std::size_t at) {
      return int((unsigned char)(bytes.at(at)) << 24 | (unsigned char)(bytes.at(at + 1)) << 16 |
                 (unsigned char)(bytes.at(at + 2)) << 8 | (unsigned char)(bytes.at(at + 3)));
    };
    sizes[file.path().filename().string()] = {number(16), number(20)};
  }
  // Heights at 3× (22-point bar, 63 + 18 × groups point rows, 30-point Touch Bar) and 2×.
  for (const char* appearance : {"light", "dark"}) {
    std::string suffix = std::string("-") + appearance + ".png";
    EXPECT_EQ(sizes["menubar-bars" + suffix].second, 66) << suffix;
    EXPECT_EQ(sizes["menubar-detailed" + suffix].second, 66) << suffix;
    EXPECT_EQ(sizes["menurow-claude" + suffix], std::pair(1080, 3 * (2 * 36 + 24 + 3))) << suffix;
    EXPECT_EQ(sizes["menurow-codex" + suffix], std::pair(1080, 3 * (36 + 24 + 3))) << suffix;
    EXPECT_EQ(sizes["menurow-footer" + suffix], std::pair(1080, 66)) << suffix;
    EXPECT_EQ(sizes["settings-menubar" + suffix].second, 44) << suffix;
    // Each tab of the whole window at 2×: at least its 560 × 620 points.
    for (const char* tab : {"display", "providers", "connections"}) {
      auto [width, height] = sizes["settings-window-" + std::string(tab) + suffix];
      EXPECT_GE(width, 1120) << tab << suffix;
      EXPECT_GE(height, 1240) << tab << suffix;
      EXPECT_EQ(width % 2, 0) << tab << suffix;
    }
    // The setup assistant at 2×: at least its 520 × 470 points.
    auto [width, height] = sizes["setup-assistant" + suffix];
    EXPECT_GE(width, 1040) << suffix;
    EXPECT_GE(height, 940) << suffix;
  }
  for (const char* name : {"menubar-tinted.png", "menubar-tinted-detailed.png",
                           "menubar-tinted-dark.png", "menubar-tinted-detailed-dark.png"}) {
    EXPECT_EQ(sizes[name].second, 66) << name;
  }
  EXPECT_EQ(sizes["touchbar-strip.png"].second, 90);
  EXPECT_EQ(sizes["touchbar-detail.png"], std::pair(1260, 90));
}

}  // namespace
}  // namespace meterwright
