#include <gtest/gtest.h>

#include "core/providers/PollingPolicy.h"
#include "desktop/app/AppHarness.h"
#include "desktop/app/AppMenu.h"

namespace meterwright {
namespace {

using Kind = TrayMenuItem::Kind;
using testing::provider;
using testing::reading;
using testing::window;

const Date now = dateFromUnixSeconds(1'700'000'000);

// Kind and label of every item, in order.
std::vector<std::pair<Kind, std::string>> lines(const TrayMenu& menu) {
  std::vector<std::pair<Kind, std::string>> result;
  for (const TrayMenuItem& item : menu.items) result.emplace_back(item.kind, item.label);
  return result;
}

// The actions every menu ends with.
std::vector<std::pair<Kind, std::string>> tail(std::size_t devices = 0) {
  return {{Kind::action, "Refresh Now"},
          {Kind::action, "Settings\u2026"},
          {Kind::action, "Setup Assistant\u2026"},
          {Kind::action, devices == 0 ? "Sync to iPhone, iPad & Apple Watch\u2026"
                                      : "Synced Devices (" + std::to_string(devices) + ")\u2026"},
          {Kind::action, "Reload Config File"},
          {Kind::action, "Start at Login"},
          {Kind::action, "Touch Bar unavailable on Linux"},
          {Kind::action, "Quit Meterwright"}};
}

std::vector<std::pair<Kind, std::string>> joined(std::vector<std::pair<Kind, std::string>> head,
                                                 std::vector<std::pair<Kind, std::string>> rest) {
  head.insert(head.end(), rest.begin(), rest.end());
  return head;
}

AppMenu::State state(std::optional<Snapshot> snapshot) {
  AppMenu::State state;
  state.config = testing::testConfig();
  state.snapshot = std::move(snapshot);
  state.entries = DisplayEntry::build(state.snapshot, state.config, now);
  state.startsAtLogin = false;
  state.now = now;
  return state;
}

const UsageWindow fiveHours = window(300, 40, addingSeconds(now, 7200));

TEST(AppMenu, WithoutAReading) {
  EXPECT_EQ(lines(AppMenu::build(state(std::nullopt))),
            joined({{Kind::smallText, "No usage data"},
                    {Kind::smallText, "Open Settings \u2192 Connections to check providers."},
                    {Kind::separator, ""},
                    {Kind::separator, ""}},
                   tail()));
}

TEST(AppMenu, StaleReadingWithAFailingProvider) {
  Date old = addingSeconds(now, -25 * 60);
  AppMenu::State s = state(reading(old, {provider("claude", "Claude", old, {fiveHours})}));
  s.failures["codex"] = {"Codex CLI not found", "Install the Codex CLI."};
  s.manualRefreshAvailableIn = 30;
  EXPECT_EQ(lines(AppMenu::build(s)),
            joined({{Kind::smallText, "\u26A0  Usage data is 25m old"},
                    {Kind::smallText,
                     "    A provider is not answering \u2014 see Settings \u2192 Connections."},
                    {Kind::separator, ""},
                    {Kind::text, "Claude \u00B7 stale"},
                    {Kind::text, "    " + AppMenu::windowLine(fiveHours, s.config, now)},
                    {Kind::text, "Codex"},
                    {Kind::smallText, "    Codex CLI not found"},
                    {Kind::smallText, "    Install the Codex CLI."},
                    {Kind::smallText, "Updated 25m ago \u00B7 next check in <1m"},
                    {Kind::separator, ""}},
                   tail()));
}

TEST(AppMenu, SignInWarningAndWaitingProvider) {
  AppMenu::State s = state(reading(now, {provider("claude", "Claude", now, {fiveHours})}));
  s.claudeDirect = true;
  s.sessionExpiry = addingSeconds(now, 1800);
  s.lastManualRefresh = AppMenu::ManualOutcome{addingSeconds(now, -10), "Every provider answered."};
  EXPECT_EQ(lines(AppMenu::build(s)),
            joined({{Kind::text, "Claude"},
                    {Kind::text, "    " + AppMenu::windowLine(fiveHours, s.config, now)},
                    {Kind::text, "Codex"},
                    {Kind::smallText, "    Waiting for the first reading\u2026"},
                    {Kind::smallText, "\u26A0  Claude Code sign-in expires in 30m"},
                    {Kind::smallText, "    " + PollingPolicy::sessionRenewalHint()},
                    {Kind::separator, ""},
                    {Kind::smallText, "Updated <1m ago"},
                    {Kind::separator, ""},
                    {Kind::smallText, "Every provider answered."}},
                   tail()));
}

TEST(AppMenu, ReadingWithoutShownProviders) {
  AppMenu::State s = state(reading(now, {provider("gemini", "Gemini", now, {fiveHours})}));
  s.config.providers.clear();
  s.entries.clear();
  EXPECT_EQ(lines(AppMenu::build(s)),
            joined({{Kind::smallText, "No enabled provider found in snapshot"},
                    {Kind::smallText, "Updated <1m ago"},
                    {Kind::separator, ""}},
                   tail()));
}

TEST(AppMenu, GroupsAndPlanInARow) {
  AppMenu::State s = state(std::nullopt);
  UsageWindow opus = window(10080, 20);
  opus.group = "Opus";
  ProviderSnapshot claude = provider("claude", "Claude", now, {fiveHours, opus});
  claude.plan = "max";
  s.snapshot = reading(now, {claude});
  s.entries = DisplayEntry::build(s.snapshot, s.config, now);
  ASSERT_EQ(s.entries.size(), 1u);
  auto all = lines(AppMenu::build(s));
  std::vector<std::pair<Kind, std::string>> row(all.begin(), all.begin() + 4);
  EXPECT_EQ(row, (std::vector<std::pair<Kind, std::string>>{
                     {Kind::text, "Claude \u00B7 " + *s.entries[0].plan},
                     {Kind::text, "    " + AppMenu::windowLine(fiveHours, s.config, now)},
                     {Kind::smallText, "Opus"},
                     {Kind::text, "    " + AppMenu::windowLine(opus, s.config, now)}}));
}

TEST(AppMenu, WindowLineHasLabelFigureAndCaption) {
  Config config = testing::testConfig();
  config.metric = Config::Metric::remaining;
  config.showMetricWord = true;
  EXPECT_EQ(AppMenu::windowLine(fiveHours, config, now),
            "5h  60% left  \u00B7  40% used \u00B7 60% left \u00B7 resets in 2h");
}

// Without devices, the item is in every other case's tail.
TEST(AppMenu, SyncItemCountsPairedDevices) {
  AppMenu::State s = state(std::nullopt);
  s.pairedDevices = 2;
  auto all = lines(AppMenu::build(s));
  EXPECT_EQ(std::vector(all.end() - long(tail(2).size()), all.end()), tail(2));
}

TEST(AppMenu, ItemsCarryTheirActionsAndMarks) {
  AppMenu::State s = state(std::nullopt);
  s.startsAtLogin = true;
  s.config.touchBar = true;
  TrayMenu menu = AppMenu::build(s);
  auto find = [&](TrayAction action) {
    for (const TrayMenuItem& item : menu.items) {
      if (item.action == action) return item;
    }
    ADD_FAILURE() << "no item for the action";
    return TrayMenuItem{};
  };
  EXPECT_EQ(find(TrayAction::refreshNow).shortcut, "r");
  EXPECT_EQ(find(TrayAction::openSettings).shortcut, ",");
  EXPECT_EQ(find(TrayAction::quit).shortcut, "q");
  EXPECT_EQ(find(TrayAction::openSetup).label, "Setup Assistant\u2026");
  EXPECT_EQ(find(TrayAction::toggleLaunchAtLogin).checked, true);
  EXPECT_TRUE(find(TrayAction::toggleLaunchAtLogin).enabled);
  EXPECT_EQ(find(TrayAction::toggleTouchBar).checked, true);
  EXPECT_FALSE(find(TrayAction::toggleTouchBar).enabled);

  s.startsAtLogin = std::nullopt;
  menu = AppMenu::build(s);
  EXPECT_FALSE(find(TrayAction::toggleLaunchAtLogin).enabled) << "no login item to offer";
}

}  // namespace
}  // namespace meterwright
