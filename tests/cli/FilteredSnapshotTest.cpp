#include <gtest/gtest.h>

#include "cli/FilteredSnapshot.h"

namespace meterwright {
namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

ProviderConfig entry(std::string id, bool enabled = true, std::vector<int> windows = {}) {
  ProviderConfig config;
  config.id = std::move(id);
  config.label = "label of " + config.id;
  config.enabled = enabled;
  config.windows = std::move(windows);
  return config;
}

UsageWindow window(int minutes, double used, std::optional<double> resetsIn = {},
                   std::optional<std::string> group = {}) {
  std::optional<Date> resetsAt;
  if (resetsIn) resetsAt = addingSeconds(now, *resetsIn);
  return {minutes, used, resetsAt, std::move(group)};
}

Snapshot sampleReading() {
  ProviderSnapshot claude{"claude", "Claude", "max_20x", "live", now, {}};
  claude.windows = {
      window(300, 37.5, 3599.9),
      window(10080, 104, -7200),
      window(10080, 12.4, 86400, "opus/sonnet"),
      window(60, 1),
  };
  ProviderSnapshot codex{"Codex", "GPT Codex \u2014 local app-server", {}, "cached", now, {}};
  codex.windows = {window(300, -0.5), window(10080, 62.5, 0.4)};
  ProviderSnapshot glm{"glm", "GLM", "pro", "live", now, {window(300, 10)}};
  ProviderSnapshot other{"other", "Other", {}, "live", now, {window(300, 10)}};
  return Snapshot{addingSeconds(now, -59.9), {glm, claude, other, codex}, "composite", "direct"};
}

Config sampleConfig() {
  Config config;
  // Configuration order, not reading order; an id in other letter case; glm disabled; "other"
  // unconfigured; "absent" configured but not in the reading.
  config.providers = {entry("codex"), entry("absent"), entry("glm", false),
                      entry("CLAUDE", true, {10080, 300})};
  return config;
}

TEST(FilteredSnapshot, WritesTheEnabledProvidersInConfigurationOrderToTheCharacter) {
  const char* expected = R"({
  "generatedAt": "2025-03-01T09:29:00Z",
  "providers": [
    {
      "id": "Codex",
      "name": "GPT Codex — local app-server",
      "state": "cached",
      "windows": [
        {
          "label": "5h",
          "remainingPercent": 101,
          "usedPercent": -1,
          "windowMinutes": 300
        },
        {
          "label": "7d",
          "remainingPercent": 38,
          "resetsAt": "2025-03-01T09:30:00Z",
          "resetsInSeconds": 0,
          "usedPercent": 63,
          "windowMinutes": 10080
        }
      ]
    },
    {
      "id": "claude",
      "name": "Claude",
      "plan": "max_20x",
      "state": "live",
      "windows": [
        {
          "label": "7d",
          "remainingPercent": 0,
          "resetsAt": "2025-03-01T07:30:00Z",
          "resetsInSeconds": 0,
          "usedPercent": 104,
          "windowMinutes": 10080
        },
        {
          "label": "5h",
          "remainingPercent": 63,
          "resetsAt": "2025-03-01T10:29:59Z",
          "resetsInSeconds": 3599,
          "usedPercent": 38,
          "windowMinutes": 300
        },
        {
          "group": "opus\/sonnet",
          "label": "7d",
          "remainingPercent": 88,
          "resetsAt": "2025-03-02T09:30:00Z",
          "resetsInSeconds": 86400,
          "usedPercent": 12,
          "windowMinutes": 10080
        }
      ]
    }
  ]
})";
  EXPECT_EQ(FilteredSnapshot::text(sampleReading(), sampleConfig(), now), expected);
}

TEST(FilteredSnapshot, NoMatchingProviderLeavesAnEmptyListAndAProviderWithoutWindowsIsKept) {
  Config config;
  config.providers = {entry("absent"), entry("claude", false)};
  EXPECT_EQ(FilteredSnapshot::text(sampleReading(), config, now),
            "{\n  \"generatedAt\": \"2025-03-01T09:29:00Z\",\n  \"providers\": []\n}");

  Snapshot empty{now, {{"codex", "Codex", {}, "unavailable", {}, {}}}, {}, "direct"};
  config.providers = {entry("codex")};
  EXPECT_EQ(FilteredSnapshot::text(empty, config, now),
            "{\n  \"generatedAt\": \"2025-03-01T09:30:00Z\",\n  \"providers\": [\n    {\n"
            "      \"id\": \"codex\",\n      \"name\": \"Codex\",\n      \"state\": "
            "\"unavailable\",\n      \"windows\": []\n    }\n  ]\n}");
}

}  // namespace
}  // namespace meterwright
