#include <gtest/gtest.h>

#include <cmath>

#include "core/display/DisplayEntry.h"
#include "core/display/Tokens.h"

namespace meterwright {
namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);

void expectNear(const ColorToken& actual, const ColorToken& expected) {
  EXPECT_NEAR(actual.red, expected.red, 1e-3);
  EXPECT_NEAR(actual.green, expected.green, 1e-3);
  EXPECT_NEAR(actual.blue, expected.blue, 1e-3);
  EXPECT_NEAR(actual.alpha, expected.alpha, 1e-3);
}

TEST(ColorToken, HexForms) {
  ColorToken blue{10 / 255.0, 132 / 255.0, 1.0, 1.0};
  for (const char* text : {"#0A84FF", "0a84ff", "  #0A84FF\t", "#0A84FFFF"}) {
    ASSERT_TRUE(ColorToken::fromHex(text)) << text;
    expectNear(*ColorToken::fromHex(text), blue);
  }
  EXPECT_NEAR(ColorToken::fromHex("#0A84FF80")->alpha, 128 / 255.0, 1e-12);
  // The number parser's one leading "+" counts as one of the six characters.
  expectNear(*ColorToken::fromHex("+12345"), {0x01 / 255.0, 0x23 / 255.0, 0x45 / 255.0, 1});
  for (const char* text : {"#FFF", "#0A84FF8", "", "#", "++1234", "#0A84FG", "#0A 4FF",
                           "\xC3\xA9"
                           "0A84F",
                           "#-12345", "##0A84FF"}) {
    EXPECT_FALSE(ColorToken::fromHex(text)) << text;
  }
}

TEST(ColorToken, LegibilityRules) {
  // Yellow on a light bar: L ≈ 0.93, so about 0.66 of the way to black.
  ColorToken yellow = ColorToken{1, 1, 0, 1}.visible(false);
  double amount = (0.9278 - 0.8) / 0.2;
  expectNear(yellow, {1 - amount, 1 - amount, 0, 1});
  expectNear(ColorToken{1, 1, 1, 0.5}.visible(false), {0.11, 0.11, 0.12, 0.5});
  expectNear(ColorToken{0, 0, 0, 1}.visible(true), {0.93, 0.93, 0.94, 1});
  // Pure blue on dark: L 0.0722, moved (0.22 − 0.0722) / 0.22 ≈ 0.67 toward white.
  double lift = (0.22 - 0.0722) / 0.22;
  expectNear(ColorToken{0, 0, 1, 1}.visible(true), {lift, lift, 1, 1});
  // A saturated dark colour is lifted at most 0.7 of the way.
  expectNear(ColorToken{0.1, 0, 0, 1}.visible(true), {0.1 + 0.9 * 0.7, 0.7, 0.7, 1});
  ColorToken accent{0.85, 0.47, 0.34, 1};
  EXPECT_EQ(accent.visible(true), accent);
  EXPECT_EQ(accent.visible(false), accent);

  EXPECT_EQ(ColorToken({1, 1, 1, 1}).contrastingText(), ColorToken({0.08, 0.08, 0.08, 1}));
  EXPECT_EQ(ColorToken({0.2, 0.4, 0.9, 1}).contrastingText(), ColorToken({1, 1, 1, 1}));
  EXPECT_EQ(accent.blended({1, 1, 1, 0}, std::nan("")), accent);
  expectNear(ColorToken{0, 0, 0, 0.5}.blended({1, 1, 1, 1}, 7), {1, 1, 1, 0.5});
}

TEST(Tokens, MeterFillThresholds) {
  ColorToken accent{0.1, 0.2, 0.3, 1};
  EXPECT_EQ(Tokens::meterFill(10, accent, 20), Tokens::critical);
  EXPECT_EQ(Tokens::meterFill(15, accent, 20), Tokens::warning);
  EXPECT_EQ(Tokens::meterFill(20, accent, 20), Tokens::warning);
  EXPECT_EQ(Tokens::meterFill(21, accent, 20), accent);
  EXPECT_EQ(Tokens::meterFill(0, accent, 0), accent);
}

ProviderConfig entry(std::string id, std::string accent = "#D97757", bool enabled = true) {
  ProviderConfig config;
  config.id = std::move(id);
  config.label = config.id + "-label";
  config.accent = std::move(accent);
  config.icon = "sparkle";
  config.enabled = enabled;
  return config;
}

ProviderSnapshot provider(std::string id, std::optional<Date> observedAt,
                          std::string state = "live") {
  return {id, id + " name", "pro", std::move(state), observedAt, {{300, 40, {}, {}}}};
}

TEST(DisplayEntry, ConfiguredProvidersPresentInTheReadingStaleByAgeOrState) {
  Config config;
  config.staleAfterMinutes = 10;
  config.providers = {entry("codex", "#12"), entry("glm"), entry("CLAUDE"),
                      entry("other", "#000000", false)};
  Snapshot snapshot{now,
                    {provider("claude", addingSeconds(now, -630)),
                     provider("Codex", addingSeconds(now, -600)), provider("other", now)},
                    {},
                    "direct"};
  auto entries = DisplayEntry::build(snapshot, config, now);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, "Codex");
  EXPECT_EQ(entries[0].label, "codex-label");
  EXPECT_EQ(entries[0].accentToken, Tokens::fallbackAccent);
  // Exactly the limit is not stale; 10.5 minutes is.
  EXPECT_FALSE(entries[0].isStale);
  EXPECT_EQ(entries[1].id, "claude");
  EXPECT_TRUE(entries[1].isStale);
  EXPECT_EQ(entries[1].plan, "pro");
  EXPECT_EQ(entries[1].windows.size(), 1u);

  EXPECT_TRUE(DisplayEntry::build(std::nullopt, config, now).empty());
  for (auto& provider : config.providers) provider.enabled = false;
  EXPECT_TRUE(DisplayEntry::build(snapshot, config, now).empty());

  // Without an observation time, the state decides staleness.
  config.providers = {entry("claude")};
  auto stale = [&](const char* state) {
    Snapshot unobserved{now, {provider("claude", std::nullopt, state)}, {}, "direct"};
    return DisplayEntry::build(unobserved, config, now).at(0).isStale;
  };
  EXPECT_TRUE(stale("cached"));
  EXPECT_FALSE(stale("live"));
}

}  // namespace
}  // namespace meterwright
