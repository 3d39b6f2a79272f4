#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/FakePrograms.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramRun.h"
#include "support/TemporaryFolder.h"

namespace meterwright::testing {

// Reset times long past, so every number in the output is fixed whatever the day of the run.
inline const char* const usageAnswer =
    R"({"five_hour": {"utilization": 42, "resets_at": "2024-01-01T10:00:00.000Z"},
        "seven_day": {"utilization": 87.5, "resets_at": null}})";
inline const char* const codexAnswer =
    R"({"rateLimits": {"limitId": "codex", "planType": "plus",
        "primary": {"usedPercent": 12.5, "windowDurationMins": 300},
        "secondary": {"usedPercent": 40, "windowDurationMins": 10080, "resetsAt": 1700000000}}})";

// The real executable as a user runs it, in a temporary home with the fake `codex`, a Claude Code
// sign-in and the usage endpoint on loopback.
class ReadingJobsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    FakePrograms::install(folder, "codex");
    writeFile(home / ".local" / "bin" / "codex.answer", codexAnswer);
    // Expires in 2100: no renewal is attempted.
    writeFile(home / ".claude" / ".credentials.json",
              R"({"claudeAiOauth": {"accessToken": "test-access", "expiresAt": )"
              R"(4102444800000, "refreshToken": "test-refresh", "subscriptionType": )"
              R"("max"}})");
    server.respondWith(LoopbackHttpServer::answer(200, usageAnswer));
  }

  ProgramResult run(std::vector<std::string> arguments, std::string scratch = "run") {
    return runProgram(METERWRIGHT_EXECUTABLE, arguments, environment, folder.path() / scratch);
  }
  std::filesystem::path storedReading() const {
    return home / ".local/share/Meterwright/last-snapshot.json";
  }

  TemporaryFolder folder;
  std::filesystem::path home = folder.locations().home;
  LoopbackHttpServer server;
  std::map<std::string, std::string> environment{
      {"HOME", home.string()},
      {"LANG", "C.UTF-8"},
      {"PATH", "/usr/bin:/bin"},
      {"TZ", "UTC"},
      {"METERWRIGHT_CLAUDE_USAGE_URL", server.url()},
  };
};

}  // namespace meterwright::testing
