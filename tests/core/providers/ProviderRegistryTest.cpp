#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/providers/PollingPolicy.h"
#include "core/providers/ProviderDefaults.h"
#include "core/providers/ProviderRegistry.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {
namespace {

using ::testing::Optional;

TEST(ProviderRegistry, LookupIgnoresCaseButNotSpaces) {
  EXPECT_EQ(ProviderRegistry::descriptor("CLAUDE")->id, "claude");
  EXPECT_EQ(ProviderRegistry::descriptor("GLM")->id, "glm");
  EXPECT_EQ(ProviderRegistry::descriptor(" glm"), std::nullopt);
  EXPECT_EQ(ProviderRegistry::descriptor(""), std::nullopt);
}

// The generic entry's accent, symbol and intervals reach the configuration file and are checked
// there (ConfigCodingTest, PollingPolicy below).
TEST(ProviderRegistry, GenericEntryForUnknownIds) {
  auto acme = ProviderRegistry::resolved("ACME widget");
  EXPECT_EQ(acme.id, "acme widget");
  EXPECT_EQ(acme.displayName, "Acme Widget");
  EXPECT_TRUE(acme.appIconCandidates.empty());
  EXPECT_EQ(acme.floorReason, ProviderRegistry::glm().floorReason);
  EXPECT_NE(acme.floorReason, ProviderRegistry::claude().floorReason);
  // The leading space is not trimmed away: it stays in the name built for the id.
  EXPECT_EQ(ProviderRegistry::resolved(" acme").displayName, " Acme");
}

TEST(ProviderRegistry, InferIdWalksCatalogueThenHints) {
  EXPECT_THAT(ProviderRegistry::inferID("Codex via ChatGPT"), Optional(std::string("codex")));
  EXPECT_THAT(ProviderRegistry::inferID("claude-glm bridge"), Optional(std::string("claude")));
  EXPECT_THAT(ProviderRegistry::inferID("ChatGPT Plus"), Optional(std::string("codex")));
  EXPECT_THAT(ProviderRegistry::inferID("Z.ai GLM"), Optional(std::string("glm")));
  EXPECT_THAT(ProviderRegistry::inferID("zai"), Optional(std::string("glm")));
  EXPECT_EQ(ProviderRegistry::inferID("Gemini"), std::nullopt);
}

TEST(ProviderDefaults, SuggestedIconIsAnInstalledDesktopApplication) {
  Environment environment = [](const char* name) -> std::optional<std::string> {
    if (std::string_view(name) == "XDG_DATA_HOME") return "/home/me/.local/share";
    if (std::string_view(name) == "XDG_DATA_DIRS") return "/usr/share:relative:/opt/share";
    return std::nullopt;
  };
  EXPECT_EQ(ProviderDefaults::applicationFolders(environment),
            (std::vector<std::string>{"/home/me/.local/share/applications",
                                      "/usr/share/applications", "/opt/share/applications"}));
  auto only = [](std::string present) {
    return [present](const std::string& path) { return path == present; };
  };
  EXPECT_EQ(ProviderDefaults::suggestedIcon(
                "Claude", only("/opt/share/applications/claude-desktop.desktop"), environment),
            "bundle:claude-desktop");
  auto none = [](const std::string&) { return false; };
  EXPECT_EQ(ProviderDefaults::suggestedIcon("claude", none, environment), "sparkle");
  // Codex, glm and unknown ids have no applications; nothing on disk is consulted for them.
  auto every = [](const std::string&) { return true; };
  EXPECT_EQ(ProviderDefaults::suggestedIcon("codex", every, environment),
            "chevron.left.forwardslash.chevron.right");
  EXPECT_EQ(ProviderDefaults::suggestedIcon("glm", every, environment), "cube.fill");
  EXPECT_EQ(ProviderDefaults::suggestedIcon("acme", every, environment), "circle.hexagongrid.fill");
}

TEST(PollingPolicy, ResolvedIntervalNeverGoesBelowTheFloor) {
  EXPECT_EQ(PollingPolicy::resolved(60, "claude"), 300);
  EXPECT_EQ(PollingPolicy::resolved(1200, "claude"), 1200);
  EXPECT_EQ(PollingPolicy::resolved(std::nullopt, "codex"), 600);
  EXPECT_EQ(PollingPolicy::resolved(std::nullopt, "acme"), 900);
  EXPECT_EQ(PollingPolicy::resolved(100, "acme"), 300);
  EXPECT_EQ(PollingPolicy::resolved(-5, "Codex"), 180);
  EXPECT_EQ(PollingPolicy::resolved(std::numeric_limits<double>::quiet_NaN(), "codex"), 600);
}

TEST(PollingPolicy, ClampNoticeOnlyBelowTheFloor) {
  EXPECT_EQ(PollingPolicy::clampNotice(60, "claude"),
            "The config asks for 1m; Meterwright is using 5m.");
  EXPECT_EQ(PollingPolicy::clampNotice(300, "claude"), std::nullopt);
  EXPECT_EQ(PollingPolicy::clampNotice(179.4, "codex"),
            "The config asks for 179s; Meterwright is using 3m.");
}

TEST(PollingPolicy, CompactDurationsUseTheLargestWholeUnitOfTheRoundedSeconds) {
  const std::pair<double, const char*> cases[] = {{3600, "1h"},
                                                  {5400, "90m"},
                                                  {90, "90s"},
                                                  {59.5, "1m"},
                                                  {7200.4, "2h"},
                                                  {0, "0s"},
                                                  {std::numeric_limits<double>::quiet_NaN(), "0s"}};
  for (auto [seconds, text] : cases) EXPECT_EQ(PollingPolicy::compact(seconds), text) << seconds;
  // Out-of-range input must not overflow the conversion.
  EXPECT_FALSE(PollingPolicy::compact(1e300).empty());
}

class PollingPolicyGerman : public ::testing::Test {
 protected:
  void SetUp() override { coreText().choose(std::vector<std::string>{"de"}); }
  void TearDown() override { coreText().choose(std::nullopt); }
};

TEST_F(PollingPolicyGerman, TextsComeFromTheGermanTable) {
  EXPECT_EQ(PollingPolicy::clampNotice(60, "claude"),
            "Die Konfiguration verlangt 1m; Meterwright verwendet 5m.");
  EXPECT_EQ(ProviderRegistry::codex().floorReason.substr(0, 25), "Jede Abfrage startet eine");
}

}  // namespace
}  // namespace meterwright
