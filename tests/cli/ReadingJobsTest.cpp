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

}  // namespace
}  // namespace meterwright
