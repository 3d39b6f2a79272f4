#include <gtest/gtest.h>

#include <functional>

#include "desktop/render/Render.h"

namespace meterwright {
namespace {

using Colour = MenuBarTitle::Colour;

const Date now = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

UsageWindow win(int minutes, double used, std::optional<std::string> group = {}) {
  return {minutes, used, std::nullopt, std::move(group)};
}

ProviderConfig entry(std::string id, std::string label, bool enabled = true) {
  ProviderConfig config;
  config.id = std::move(id);
  config.label = std::move(label);
  config.enabled = enabled;
  return config;
}

// Plain numbers, no decoration, so each test switches on only what it is about.
Config plainConfig() {
  Config config;
  config.providers = {entry("claude", "Cl"), entry("codex", "Cx")};
  config.showMetricWord = false;
  config.showWindowLabels = false;
  config.showPlanBadge = false;
  config.warnBelowRemainingPercent = 0;
  config.separator = " | ";
  return config;
}

ProviderSnapshot provider(std::string id, std::vector<UsageWindow> windows,
                          std::string state = "live", std::optional<std::string> plan = {}) {
  return {id, id, std::move(plan), std::move(state), now, std::move(windows)};
}

Snapshot reading(std::vector<ProviderSnapshot> providers, Date generatedAt = now) {
  return {generatedAt, std::move(providers), {}, "direct"};
}

TEST(MenuBarTitle, EnabledProvidersInConfigurationOrderMatchedIgnoringCase) {
  Config config = plainConfig();
  config.providers = {entry("CODEX", "Cx"), entry("glm", "G"), entry("claude", "Cl"),
                      entry("other", "O", false)};
  auto snapshot = reading({provider("claude", {win(300, 40)}), provider("Codex", {win(10080, 25)}),
                           provider("other", {win(300, 1)})});
  // glm is enabled but absent from the reading: skipped, not shown empty.
  EXPECT_EQ(Render::title(snapshot, config, now).text, "Cx 75% | Cl 60%");
}

TEST(MenuBarTitle, WindowStylesLabelsAndConfiguredWindowOrder) {
  Config config = plainConfig();
  config.providers = {entry("claude", "Cl")};
  config.providers[0].windows = {10080, 300};
  config.barSegments = 5;
  auto snapshot =
      reading({provider("claude", {win(300, 42), win(10080, 90), win(10080, 10, "opus")})});

  struct Case {
    std::string style;
    bool labels;
    std::string expected;
  };
  const Case cases[] = {
      {"percent", false, "Cl 10% 58%"},
      {"anything", true, "Cl 7d 10% 5h 58%"},
      // 42% of 5 cells is 2.1 → two filled; 90% is 4.5 → five (half away from zero).
      {"bar", false, "Cl \u25B0\u25B0\u25B0\u25B0\u25B0 \u25B0\u25B0\u25B1\u25B1\u25B1"},
      {"both", true,
       "Cl 7d \u25B0\u25B0\u25B0\u25B0\u25B0 10% 5h \u25B0\u25B0\u25B1\u25B1\u25B1 58%"},
  };
  for (const Case& c : cases) {
    config.style = c.style;
    config.showWindowLabels = c.labels;
    EXPECT_EQ(Render::title(snapshot, config, now).text, c.expected) << c.style;
  }
}

TEST(MenuBarTitle, MeterRoundsHalfAwayFromZeroAndStaysWithinItsCells) {
  EXPECT_EQ(Render::meter(50, 5), "\u25B0\u25B0\u25B0\u25B1\u25B1");
  EXPECT_EQ(Render::meter(49, 5), "\u25B0\u25B0\u25B1\u25B1\u25B1");
  EXPECT_EQ(Render::meter(150, 3), "\u25B0\u25B0\u25B0");
  EXPECT_EQ(Render::meter(-20, 3), "\u25B1\u25B1\u25B1");
  EXPECT_EQ(Render::meter(50, 0), "");
  EXPECT_EQ(Render::meter(50, -4), "");
  // A hand-edited segment count cannot make the line unbounded.
  EXPECT_EQ(Render::meter(0, 2'000'000'000).size(), Render::meter(0, 100).size());
}

TEST(MenuBarTitle, DecorationsEachSwitchedOnByItsSetting) {
  auto twoProviders = reading({provider("claude", {win(300, 40)}, "cached", "max_20x"),
                               provider("codex", {win(300, 40)}, "live", "plus")});
  auto oneWithoutData = reading({provider("claude", {win(300, 40)}), provider("codex", {})});
  auto agedBy = [](double seconds) {
    return reading({provider("claude", {win(300, 40)})}, addingSeconds(now, -seconds));
  };
  struct Row {
    std::string name;
    std::function<void(Config&)> change;
    Snapshot snapshot;
    std::string expected;
  };
  const Row rows[] = {
      {"stale mark", [](Config&) {}, twoProviders, "Cl\u00B0 60% | Cx 60%"},
      {"plan badge", [](Config& c) { c.showPlanBadge = true; }, twoProviders,
       "Cl\u00B0 max_20x 60% | Cx plus 60%"},
      {"no data", [](Config&) {},
       reading({provider("claude", {win(300, 40)}, "unavailable"), provider("codex", {})}),
       "Cl \u2014 | Cx \u2014"},
      {"only absent lengths", [](Config& c) { c.providers[0].windows = {60}; },
       reading({provider("claude", {win(300, 40)})}), "Cl \u2014"},
      {"metric word", [](Config& c) { c.showMetricWord = true; }, oneWithoutData,
       "Cl 60% | Cx \u2014 left"},
      {"used metric",
       [](Config& c) {
         c.showMetricWord = true;
         c.metric = Config::Metric::used;
       },
       oneWithoutData, "Cl 40% | Cx \u2014 used"},
      {"at the age limit", [](Config& c) { c.staleAfterMinutes = 20; }, agedBy(20 * 60), "Cl 60%"},
      {"past the age limit", [](Config& c) { c.staleAfterMinutes = 20; }, agedBy(20 * 60 + 1),
       "\u26A0 Cl 60%"},
      {"from the future", [](Config& c) { c.staleAfterMinutes = 20; }, agedBy(-3600), "Cl 60%"},
  };
  for (const Row& row : rows) {
    Config config = plainConfig();
    row.change(config);
    EXPECT_EQ(Render::title(row.snapshot, config, now).text, row.expected) << row.name;
  }
}

TEST(MenuBarTitle, NoticesWithoutAReadingOrAnEnabledProvider) {
  EXPECT_EQ(Render::title(std::nullopt, plainConfig(), now),
            (MenuBarTitle{"Meterwright \u2014", Colour::secondaryLabel}));
  Config config = plainConfig();
  config.showMetricWord = true;
  for (auto& each : config.providers) each.enabled = false;
  auto claudeOnly = reading({provider("claude", {win(300, 40)})});
  EXPECT_EQ(Render::title(claudeOnly, config, now),
            (MenuBarTitle{"No providers enabled", Colour::label}));
  config.providers = {entry("glm", "G")};
  EXPECT_EQ(Render::title(claudeOnly, config, now).text, "No providers enabled");
}

TEST(MenuBarTitle, ColourFollowsTheScarcestWindowAgainstTheThreshold) {
  struct Case {
    int warnBelow;
    double remaining;
    Colour colour;
  };
  const Case cases[] = {
      {20, 10, Colour::red},   {20, 15, Colour::orange}, {20, 20, Colour::orange},
      {20, 21, Colour::label}, {0, 0, Colour::label},    {1, 0.5, Colour::red},
      {1, 1, Colour::orange},
  };
  for (const Case& c : cases) {
    Config config = plainConfig();
    config.warnBelowRemainingPercent = c.warnBelow;
    // The scarce window sits second in the second provider: every window counts.
    auto snapshot = reading({provider("claude", {win(300, 10)}),
                             provider("codex", {win(300, 50), win(10080, 100 - c.remaining)})});
    EXPECT_EQ(Render::title(snapshot, config, now).colour, c.colour)
        << c.warnBelow << " / " << c.remaining;
  }
  // Providers without data do not count; nothing counted means 100 remaining.
  Config config = plainConfig();
  config.warnBelowRemainingPercent = 100;
  EXPECT_EQ(
      Render::title(reading({provider("claude", {win(300, 100)}, "unavailable")}), config, now)
          .colour,
      Colour::orange);
  // A window used beyond 100% counts as nothing left, not as a negative remainder.
  config.warnBelowRemainingPercent = 20;
  EXPECT_EQ(Render::title(reading({provider("claude", {win(300, 130)})}), config, now).colour,
            Colour::red);
}

}  // namespace
}  // namespace meterwright
