#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "core/config/ConfigCoding.h"
#include "core/json/JsonText.h"

namespace meterwright {
namespace {

bool nothingInstalled(const std::string&) {
  return false;
}

std::optional<Config> decode(const std::string& text) {
  return ConfigCoding::decodeConfig(text, nothingInstalled);
}

// Each entry's details come from the catalogue (ProviderEntryDefaultsComeFromItsOwnId); here,
// which entries there are, which are on and the windows chosen for them.
TEST(ConfigCoding, FallbackListsTheCatalogueWithOnlyGlmOff) {
  Config config = Config::fallback(nothingInstalled);
  std::vector<std::pair<std::string, bool>> entries;
  for (const auto& each : config.providers) entries.emplace_back(each.id, each.enabled);
  EXPECT_EQ(entries, (std::vector<std::pair<std::string, bool>>{
                         {"claude", true}, {"codex", true}, {"glm", false}}));
  EXPECT_EQ(config.providers[0].windows, (std::vector<int>{300, 10080}));
  EXPECT_EQ(config.providers[1].windows, std::vector<int>{10080});
}

TEST(ConfigCoding, RefreshSecondsIsRaisedToTheRedrawFloorOnly) {
  auto config = decode(R"({"refreshSeconds": 5, "barSegments": -3, "staleAfterMinutes": 0,
                           "warnBelowRemainingPercent": 400})");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->refreshSeconds, 15);
  // Other numbers are taken as written.
  EXPECT_EQ(config->barSegments, -3);
  EXPECT_EQ(config->staleAfterMinutes, 0);
  EXPECT_EQ(config->warnBelowRemainingPercent, 400);
  EXPECT_EQ(decode(R"({"refreshSeconds": 15.5})")->refreshSeconds, 15.5);
}

TEST(ConfigCoding, InvalidDocumentsFailAsAWhole) {
  for (const char* text : {
           R"({"metric": "left"})",
           R"({"barSegments": "6"})",
           R"({"notifications": 1})",
           R"({"providers": {}})",
           R"({"providers": [{"label": "No id"}]})",
           R"({"providers": [{"id": 7}]})",
           R"({"providers": ["claude"]})",
           R"({"providers": [{"id": "claude", "windows": [300, "10080"]}]})",
           R"({"providers": [{"id": "claude", "pollSeconds": "fast"}]})",
           R"({"barSegments": 1e19})",
           R"({"staleAfterMinutes": 9223372036854775808})",
           R"({"providers": [{"id": "claude", "windows": [300, 1e300]}]})",
           R"({"refreshSeconds": 1e999})",
           R"([])",
           "",
           "{} {}",
           "\xff\xfe{}",
           "{\"separator\": \"\xc3\x28\"}",
       }) {
    EXPECT_EQ(decode(text), std::nullopt) << text;
  }
}

// The peers hold these numbers in 64 bits; here they are ints, so larger values are held to the
// int range instead of making the whole file invalid.
TEST(ConfigCoding, WholeNumbersBeyondAnIntAreHeldToItsRange) {
  constexpr int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
  auto config = decode(R"({"barSegments": 4294967296, "staleAfterMinutes": 1e12,
                           "warnBelowRemainingPercent": -3000000000,
                           "providers": [{"id": "claude", "windows": [300, 9223372036854775807]}]})");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->barSegments, most);
  EXPECT_EQ(config->staleAfterMinutes, most);
  EXPECT_EQ(config->warnBelowRemainingPercent, least);
  EXPECT_EQ(config->providers[0].windows, (std::vector<int>{300, most}));
}

TEST(ConfigCoding, NullAndUnknownKeysCountAsMissingWholeFloatsAsIntegers) {
  auto config = decode(R"({"metric": null, "style": null, "futureKey": {"nested": [1, 2]},
                           "barSegments": 8.0,
                           "providers": [{"id": "codex", "label": null, "windows": [300.0]}]})");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->barSegments, 8);
  EXPECT_EQ(config->providers[0].windows, std::vector<int>{300});
  EXPECT_EQ(config->metric, Config::Metric::remaining);
  EXPECT_EQ(config->style, "percent");
  EXPECT_EQ(config->providers[0].label, "Codex");
}

TEST(ConfigCoding, ProviderEntryDefaultsComeFromItsOwnId) {
  auto config = decode(R"({"providers": [{"id": "codex", "accent": "#10a37f"}, {"id": "acme"}]})");
  ASSERT_TRUE(config);
  ASSERT_EQ(config->providers.size(), 2u);
  const ProviderConfig& codex = config->providers[0];
  EXPECT_EQ(codex.accent, "#2E6BE6");
  EXPECT_TRUE(codex.enabled);
  EXPECT_EQ(codex.label, "Codex");
  EXPECT_TRUE(codex.windows.empty());
  EXPECT_EQ(codex.pollSeconds, 600);
  EXPECT_EQ(codex.icon, "chevron.left.forwardslash.chevron.right");

  const ProviderConfig& acme = config->providers[1];
  EXPECT_EQ(acme.label, "Acme");
  EXPECT_EQ(acme.accent, "#8E8E93");
  EXPECT_EQ(acme.icon, "circle.hexagongrid.fill");
  EXPECT_EQ(acme.pollSeconds, 900);
}

TEST(ConfigCoding, LegacyAccentsMigrateOthersStayAsWritten) {
  auto config = decode(R"({"providers": [
      {"id": "GLM", "accent": "#4d6bfe"},
      {"id": "glm", "accent": "#abcdef"},
      {"id": "claude", "accent": "#10A37F"},
      {"id": "acme", "accent": "#4D6BFE"}]})");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->providers[0].accent, "#111114");
  EXPECT_EQ(config->providers[1].accent, "#abcdef");
  // A legacy colour of another provider is a deliberate choice here.
  EXPECT_EQ(config->providers[2].accent, "#10A37F");
  EXPECT_EQ(config->providers[3].accent, "#4D6BFE");
}

TEST(ConfigCoding, LegacyIconsFollowTheSuggestedIcon) {
  auto claudeInstalled = [](const std::string& path) {
    return path.ends_with("/applications/claude-desktop.desktop");
  };
  auto config = ConfigCoding::decodeConfig(R"({"providers": [
      {"id": "Claude", "icon": "sparkle"},
      {"id": "codex", "icon": "cube.fill"},
      {"id": "glm", "icon": "file:/home/me/glm.png"},
      {"id": "acme", "icon": "circle.hexagongrid.fill"}]})",
                                           claudeInstalled);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->providers[0].icon, "bundle:claude-desktop");
  EXPECT_EQ(config->providers[0].id, "Claude");
  EXPECT_EQ(config->providers[1].icon, "chevron.left.forwardslash.chevron.right");
  EXPECT_EQ(config->providers[2].icon, "file:/home/me/glm.png");
  EXPECT_EQ(config->providers[3].icon, "circle.hexagongrid.fill");
}

TEST(ConfigCoding, ProvidersListIsTakenAsWritten) {
  EXPECT_TRUE(decode(R"({"providers": []})")->providers.empty());
  auto config = decode(R"({"providers": [{"id": "codex"}, {"id": "codex", "enabled": false}]})");
  ASSERT_EQ(config->providers.size(), 2u);
  EXPECT_FALSE(config->providers[1].enabled);
  ASSERT_NE(config->provider("CODEX"), nullptr);
  EXPECT_TRUE(config->provider("CODEX")->enabled);
  EXPECT_EQ(config->enabledProviders().size(), 1u);
  EXPECT_EQ(config->provider("claude"), nullptr);
}

TEST(ConfigCoding, EncodingIsSortedEscapedAndStable) {
  Config config = Config::fallback(nothingInstalled);
  config.providers[0].icon = "app:/Applications/Claude.app";
  config.refreshSeconds = 60;
  config.providers[1].pollSeconds = 612.5;
  auto text = ConfigCoding::encode(config);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"("icon": "app:\/Applications\/Claude.app")"), std::string::npos);
  EXPECT_NE(text->find(R"("refreshSeconds": 60,)"), std::string::npos);
  EXPECT_NE(text->find(R"("pollSeconds": 612.5,)"), std::string::npos);
  EXPECT_NE(text->find("\"separator\": \"  \u00B7  \""), std::string::npos);
  EXPECT_LT(text->find("\"barSegments\""), text->find("\"claudeDirect\""));
  EXPECT_LT(text->find("\"accent\""), text->find("\"windows\""));
  EXPECT_EQ(text->back(), '\n');
  // What was written reads back as the same configuration and writes the same bytes again.
  auto decoded = ConfigCoding::decodeConfig(*text, nothingInstalled);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, config);
  EXPECT_EQ(ConfigCoding::encode(*decoded), text);

  // NaN and infinities have no JSON form: such a configuration is not written at all.
  config.providers[0].pollSeconds = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ConfigCoding::encode(config), std::nullopt);
}

TEST(ConfigCoding, DeepAndHugeDocumentsDoNotCrash) {
  auto nested = [](int depth) {
    return R"({"unknown": )" + std::string(depth, '[') + std::string(depth, ']') + "}";
  };
  // A value under an unknown key is ignored; nesting far beyond any real document is refused
  // before it can exhaust the stack.
  EXPECT_TRUE(decode(nested(300)));
  EXPECT_EQ(decode(nested(100000)), std::nullopt);
  EXPECT_EQ(decode(std::string(100000, '{')), std::nullopt);
  std::string longLabel(4 * 1024 * 1024, 'x');
  auto config = decode(R"({"providers": [{"id": "codex", "label": ")" + longLabel + "\"}]}");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->providers[0].label.size(), longLabel.size());
}

}  // namespace
}  // namespace meterwright
