// The controller as the program wires it to the tray: a real AppDelegate on the GLib main context,
// the real TrayItem through TraySurface, a watcher and a host's client on a private session bus.
// Time moves only through the manual clock and scheduler.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "desktop/app/AppDelegate.h"
#include "desktop/app/AppHarness.h"
#include "desktop/app/TraySurface.h"
#include "desktop/windows/MainThread.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/tray/DbusMenuLayout.h"
#include "platform/tray/TrayItem.h"
#include "platform/tray/TrayTestBus.h"
#include "support/FakeStatusNotifierWatcher.h"

namespace meterwright {
namespace {

using testing::printed;

constexpr const char* itemInterface = "org.kde.StatusNotifierItem";
constexpr const char* itemPath = "/StatusNotifierItem";
constexpr const char* menuInterface = "com.canonical.dbusmenu";
constexpr const char* menuPath = "/MenuBar";
constexpr const char* properties = "org.freedesktop.DBus.Properties";

// Whether `wanted` appears in `labels` in this order (other lines may come between).
::testing::AssertionResult inOrder(const std::vector<std::string>& labels,
                                   const std::vector<std::string>& wanted) {
  auto at = labels.begin();
  for (const std::string& each : wanted) {
    at = std::find(at, labels.end(), each);
    if (at == labels.end()) {
      std::string shown;
      for (const std::string& label : labels) shown += "\n  " + label;
      return ::testing::AssertionFailure() << "no \"" << each << "\" in order in:" << shown;
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

// A reading at `at`: Claude's five-hour window at `claudeUsed` percent, and Codex's at 10 unless
// left out.
Snapshot readingOf(Date at, bool withCodex = true, double claudeUsed = 10) {
  std::vector<ProviderSnapshot> providers{
      testing::provider("claude", "Claude", at, {testing::window(300, claudeUsed)})};
  if (withCodex)
    providers.push_back(testing::provider("codex", "Codex", at, {testing::window(300, 10)}));
  return testing::reading(at, std::move(providers));
}

class TrayOnBusTest : public testing::TrayTestBus {
 protected:
  void SetUp() override {
    TrayTestBus::SetUp();
    if (IsSkipped()) return;
    watcher = std::make_unique<testing::FakeStatusNotifierWatcher>(bus->address());
    ASSERT_TRUE(watcher->ready());
    ConfigStore::save(testing::testConfig(), folder.locations());
  }

  // Launches the controller and its tray item, wired as the application wires them, and waits
  // for the first reading to be shown on the item.
  void launch() {
    app = std::make_unique<AppDelegate>(
        testing::controllerOptions(folder, clock, scheduler, MainThread::post, source));

    tray = makeItem(optionsOnBus());
    surface = std::make_shared<TraySurface>(*tray);
    tray->onAction([this](TrayAction action) { app->perform(action); });
    tray->onHostAvailabilityChanged([this](bool shown) {
      reports.push_back(shown);
      if (shown) app->attach(surface);
    });
    app->launch();
    ASSERT_TRUE(waitForReports(1));
    ASSERT_EQ(reports, std::vector<bool>{true});
    settle();
  }

  // Waits until no reading is in flight; its result has then reached the item.
  void settle() {
    ASSERT_TRUE(MainLoopWait::until([&] { return !app->isReading(); }, 20))
        << "the reading never came back";
  }

  // One reading, start to end.
  void readOnce() {
    app->refresh();
    settle();
  }

  // Moves the clock, running the timer's ticks as they come due and each reading they start.
  void advance(double seconds) {
    while (seconds > 0) {
      double step = std::min(seconds, 1.0);
      scheduler->advance(step);
      settle();
      seconds -= step;
    }
  }

  // A property of the item as a host reads it now: its type and value.
  std::string property(const char* name, double timeoutSeconds = 10) {
    auto reply = client->call(tray->serviceName(), itemPath, properties, "Get",
                              g_variant_new("(ss)", itemInterface, name), timeoutSeconds);
    if (!reply.value) return "error: " + reply.error;
    glib::Variant value(g_variant_get_child_value(reply.value.get(), 0));
    glib::Variant inner(g_variant_get_variant(value.get()));
    return std::string(g_variant_get_type_string(inner.get())) + " " + printed(inner.get());
  }

  testing::BusClient::Reply menuCall(const char* method, GVariant* parameters) {
    return client->call(tray->serviceName(), menuPath, menuInterface, method, parameters);
  }

  // The menu as GetLayout gives it: each top-level item's id and label (empty for separators).
  std::vector<std::pair<int, std::string>> layout() {
    const gchar* all[] = {nullptr};
    auto reply = menuCall("GetLayout", g_variant_new("(ii^as)", 0, -1, all));
    std::vector<std::pair<int, std::string>> items;
    if (!reply.value) {
      ADD_FAILURE() << reply.error;
      return items;
    }
    glib::Variant root(g_variant_get_child_value(reply.value.get(), 1));
    glib::Variant children(g_variant_get_child_value(root.get(), 2));
    for (gsize i = 0; i < g_variant_n_children(children.get()); ++i) {
      glib::Variant boxed(g_variant_get_child_value(children.get(), i));
      glib::Variant child(g_variant_get_variant(boxed.get()));
      gint32 id = 0;
      GVariant* itemProperties = nullptr;
      g_variant_get(child.get(), "(i@a{sv}av)", &id, &itemProperties, nullptr);
      const gchar* label = "";
      g_variant_lookup(itemProperties, "label", "&s", &label);
      items.emplace_back(id, label);
      g_variant_unref(itemProperties);
    }
    return items;
  }

  std::vector<std::string> menuLabels() {
    std::vector<std::string> labels;
    for (const auto& [id, label] : layout()) labels.push_back(label);
    return labels;
  }

  // The controller's own menu, as the exporter should show it.
  std::vector<std::string> controllerLabels() const {
    std::vector<std::string> labels;
    for (const TrayMenuItem& item : app->menu().items)
      labels.push_back(DbusMenuLayout::escapeLabel(item.label));
    return labels;
  }

  // The exported menu is the controller's own, and shows `wanted` in this order.
  ::testing::AssertionResult menuShows(const std::vector<std::string>& wanted) {
    std::vector<std::string> labels = menuLabels();
    if (labels != controllerLabels())
      return ::testing::AssertionFailure() << "the exported menu is not the controller's";
    return inOrder(labels, wanted);
  }

  int idOf(const std::string& label) {
    for (const auto& [id, shown] : layout()) {
      if (shown == label) return id;
    }
    ADD_FAILURE() << "no menu item " << label;
    return -1;
  }

  testing::BusClient::Reply click(int id) {
    return menuCall("Event", g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
  }

  // Refresh Now chosen on the host, and the reading it starts.
  void refreshFromHost() {
    int reads = source->get().reads;
    EXPECT_EQ(click(idOf("Refresh Now")).error, "");
    ASSERT_TRUE(MainLoopWait::until([&] { return source->get().reads > reads; }, 20));
    settle();
  }

  std::unique_ptr<testing::FakeStatusNotifierWatcher> watcher;
  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<testing::ManualScheduler> scheduler =
      std::make_shared<testing::ManualScheduler>(*clock);
  std::shared_ptr<testing::FakeSource> source = std::make_shared<testing::FakeSource>();
  std::unique_ptr<AppDelegate> app;
  // After the controller, so it goes first: its handlers reach the controller.
  std::unique_ptr<TrayItem> tray;
  std::shared_ptr<TraySurface> surface;
};

TEST_F(TrayOnBusTest, ItemPropertiesFollowTheReading) {
  Date now = clock->now();
  source->answer(readingOf(now, false, 42));
  launch();
  EXPECT_EQ(watcher->registrations(), std::vector<std::string>{tray->serviceName()});
  EXPECT_EQ(property("Title"), "s 'Meterwright'");
  EXPECT_EQ(property("Status"), "s 'Active'");
  const StatusPresentation calm = app->presentation();
  ASSERT_FALSE(calm.tooltip.empty());
  EXPECT_EQ(property("ToolTip"), "(sa(iiay)ss) ('', [], 'Meterwright', '" + calm.tooltip + "')");
  EXPECT_EQ(property("XAyatanaLabel"), "s '" + calm.textLine.text + "'");
  // Room for every figure at three digits, the rest as shown.
  EXPECT_EQ(property("XAyatanaLabelGuide"),
            "s '" + std::regex_replace(calm.textLine.text, std::regex("[0-9]+"), "000") + "'");
  const std::string calmIcon = property("IconPixmap");
  EXPECT_TRUE(calmIcon.starts_with("a(iiay) [(")) << calmIcon.substr(0, 40);

  // At the warning threshold (20 % left) the item asks for attention.
  source->answer(readingOf(now, false, 80));
  readOnce();
  const StatusPresentation low = app->presentation();
  EXPECT_EQ(property("Status"), "s 'NeedsAttention'");
  EXPECT_NE(low.tooltip, calm.tooltip);
  EXPECT_EQ(property("ToolTip"), "(sa(iiay)ss) ('', [], 'Meterwright', '" + low.tooltip + "')");
  EXPECT_NE(low.textLine.text, calm.textLine.text);
  EXPECT_EQ(property("XAyatanaLabel"), "s '" + low.textLine.text + "'");
  const std::string lowIcon = property("IconPixmap");
  EXPECT_TRUE(lowIcon.starts_with("a(iiay) [(")) << lowIcon.substr(0, 40);
  EXPECT_NE(lowIcon, calmIcon);
}

TEST_F(TrayOnBusTest, MenuLayoutFollowsTheControllersState) {
  launch();
  EXPECT_TRUE(menuShows({"No usage data", "Open Settings \u2192 Connections to check providers.",
                         "Refresh Now", "Quit Meterwright"}));

  Date now = clock->now();
  Date old = addingSeconds(now, -3600);
  source->answer(readingOf(old));
  readOnce();
  EXPECT_TRUE(menuShows({"\u26A0  Usage data is 1h old",
                         "    A provider is not answering \u2014 see Settings \u2192 Connections.",
                         "Claude \u00B7 stale", "Codex \u00B7 stale", "Refresh Now"}));

  source->edit([&](testing::FakeSource::State& state) {
    state.reading = readingOf(now, false);
    state.failures["codex"] = SourceFailure{"Not signed in", "Run codex login", true};
  });
  readOnce();
  EXPECT_TRUE(
      menuShows({"Claude", "Codex", "    Not signed in", "    Run codex login", "Refresh Now"}));

  source->edit([&](testing::FakeSource::State& state) {
    state.failures.clear();
    state.reading = readingOf(now);
    state.expiry = addingSeconds(now, 600);
  });
  readOnce();
  EXPECT_TRUE(menuShows({"Codex", "\u26A0  Claude Code sign-in expires in 10m", "Refresh Now"}));

  // Refresh Now chosen on the host: the reading that follows says how it went.
  source->edit([](testing::FakeSource::State& state) { state.expiry.reset(); });
  refreshFromHost();
  EXPECT_TRUE(menuShows({"Every provider answered.", "Refresh Now"}));
  EXPECT_FALSE(inOrder(menuLabels(), {"\u26A0  Claude Code sign-in expires in 10m"}));
}

// The outcome goes after two minutes on its own: readings five minutes apart must not keep it.
TEST_F(TrayOnBusTest, RefusedRefreshShowsTheWaitForTwoMinutes) {
  Config config = testing::testConfig();
  config.refreshSeconds = 300;
  ConfigStore::save(config, folder.locations());
  launch();
  source->edit([](testing::FakeSource::State& state) {
    state.acceptsManual = false;
    state.wait = 90;
  });
  const std::string tooSoon = "Asked too recently \u2014 the next request can go out in 1m.";
  EXPECT_EQ(click(idOf("Refresh Now")).error, "");
  ASSERT_TRUE(MainLoopWait::until([&] { return inOrder(menuLabels(), {tooSoon}); }, 20));
  EXPECT_TRUE(inOrder(menuLabels(), {tooSoon, "Refresh Now"}));
  settle();

  advance(119);
  EXPECT_TRUE(inOrder(menuLabels(), {tooSoon}));
  advance(1);
  EXPECT_FALSE(inOrder(menuLabels(), {tooSoon}));
  EXPECT_EQ(menuLabels(), controllerLabels());
}

// The reader blocks its own thread, never the main loop: a host's property read is answered
// within its 100 ms D-Bus deadline while a reading is held.
TEST_F(TrayOnBusTest, HeldReaderLeavesTheItemAnswering) {
  launch();
  int reads = source->get().reads;
  source->edit([](testing::FakeSource::State& state) { state.held = true; });
  app->refresh();
  ASSERT_TRUE(source->waitForReads(reads + 1));
  EXPECT_EQ(property("Title", 0.1), "s 'Meterwright'");
  EXPECT_TRUE(app->isReading());
  source->edit([](testing::FakeSource::State& state) { state.held = false; });
  settle();
}

TEST_F(TrayOnBusTest, StrayEventsAndAWatcherThatComesBackLeaveTheControllerWorking) {
  launch();
  EXPECT_EQ(click(424242).error, "");
  EXPECT_NE(
      menuCall("Event", g_variant_new("(ssvu)", "1", "clicked", g_variant_new_int32(0), 0u)).error,
      "");
  auto group =
      menuCall("EventGroup", g_variant_new_parsed("([(424242, 'clicked', <0>, uint32 0)],)"));
  EXPECT_EQ(printed(group.value.get()), "([424242],)");

  watcher->leave();
  ASSERT_TRUE(waitForReports(2));
  watcher = std::make_unique<testing::FakeStatusNotifierWatcher>(bus->address());
  ASSERT_TRUE(watcher->ready());
  ASSERT_TRUE(waitForReports(3));
  EXPECT_EQ(reports, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(watcher->registrations(), std::vector<std::string>{tray->serviceName()});

  // Still driven by the host: Refresh Now starts a reading that reaches the menu.
  source->answer(readingOf(clock->now()));
  refreshFromHost();
  EXPECT_TRUE(inOrder(menuLabels(), {"Claude", "Codex", "Every provider answered."}));
}

}  // namespace
}  // namespace meterwright
