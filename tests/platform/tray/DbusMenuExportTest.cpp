#include <gtest/gtest.h>

#include "TrayTestBus.h"
#include "platform/tray/DbusMenuExport.h"
#include "platform/tray/DbusMenuLayout.h"
#include "support/FakeStatusNotifierWatcher.h"

namespace meterwright {
namespace {

using testing::printed;
using Kind = TrayMenuItem::Kind;

constexpr const char* menuInterface = "com.canonical.dbusmenu";
constexpr const char* menuPath = "/MenuBar";

TEST(DbusMenuLayout, DoublesUnderscoresSoHostsShowThem) {
  EXPECT_EQ(DbusMenuLayout::escapeLabel("plain"), "plain");
  EXPECT_EQ(DbusMenuLayout::escapeLabel("five_hour__window_"), "five__hour____window__");
  EXPECT_EQ(DbusMenuLayout::escapeLabel(""), "");
  EXPECT_EQ(DbusMenuLayout::escapeLabel("bad_\xff\xfe"), "bad__\uFFFD\uFFFD");
}

TrayMenu sampleMenu() {
  return {{
      {Kind::text, "Claude", false, std::nullopt, TrayAction::none, ""},
      {Kind::smallText, "five_hour: 42% left", false, std::nullopt, TrayAction::none, ""},
      {Kind::separator, "", false, std::nullopt, TrayAction::none, ""},
      {Kind::action, "Refresh Now", true, std::nullopt, TrayAction::refreshNow, "r"},
      {Kind::action, "Start at Login", true, true, TrayAction::toggleLaunchAtLogin, ""},
      {Kind::action, "Show in Touch Bar", false, false, TrayAction::toggleTouchBar, ""},
      {Kind::action, "Quit", true, std::nullopt, TrayAction::quit, "q"},
  }};
}

class DbusMenuExportTest : public testing::TrayTestBus {
 protected:
  void SetUp() override {
    TrayTestBus::SetUp();
    if (IsSkipped()) return;
    watcher = std::make_unique<testing::FakeStatusNotifierWatcher>(bus->address());
    item = makeItem(optionsOnBus());
    ASSERT_TRUE(waitForReports(1));
  }

  testing::BusClient::Reply menuCall(const char* method, GVariant* parameters) {
    return client->call(item->serviceName(), menuPath, menuInterface, method, parameters);
  }

  // GetLayout of the whole menu: the revision, and each child as (id, properties).
  struct Layout {
    std::uint32_t revision = 0;
    std::vector<std::pair<int, std::string>> children;
  };
  Layout layout() {
    const gchar* all[] = {nullptr};
    auto reply = menuCall("GetLayout", g_variant_new("(ii^as)", 0, -1, all));
    Layout result;
    if (!reply.value) {
      ADD_FAILURE() << reply.error;
      return result;
    }
    GVariant* children = nullptr;
    g_variant_get(reply.value.get(), "(u(ia{sv}@av))", &result.revision, nullptr, nullptr,
                  &children);
    GVariantIter iter;
    g_variant_iter_init(&iter, children);
    GVariant* child = nullptr;
    while (g_variant_iter_next(&iter, "v", &child)) {
      gint32 id = 0;
      GVariant* properties = nullptr;
      g_variant_get(child, "(i@a{sv}av)", &id, &properties, nullptr);
      result.children.emplace_back(id, printed(properties));
      g_variant_unref(properties);
      g_variant_unref(child);
    }
    g_variant_unref(children);
    return result;
  }

  void click(int id, const char* event = "clicked") {
    auto reply = menuCall("Event", g_variant_new("(isvu)", id, event, g_variant_new_int32(0), 0u));
    EXPECT_EQ(reply.error, "") << id;
  }

  std::unique_ptr<testing::FakeStatusNotifierWatcher> watcher;
  std::unique_ptr<TrayItem> item;
};

TEST_F(DbusMenuExportTest, LayoutShowsEachItemAsHostsDrawIt) {
  item->setMenu(sampleMenu());
  auto got = layout();
  std::vector<std::string> properties;
  for (const auto& [id, text] : got.children) properties.push_back(text);
  EXPECT_EQ(properties, (std::vector<std::string>{
                            "{'label': <'Claude'>, 'enabled': <false>}",
                            "{'label': <'five__hour: 42% left'>, 'enabled': <false>}",
                            "{'type': <'separator'>}",
                            "{'label': <'Refresh Now'>, 'enabled': <true>, "
                            "'shortcut': <[['Control', 'r']]>}",
                            "{'label': <'Start at Login'>, 'enabled': <true>, "
                            "'toggle-type': <'checkmark'>, 'toggle-state': <1>}",
                            "{'label': <'Show in Touch Bar'>, 'enabled': <false>, "
                            "'toggle-type': <'checkmark'>, 'toggle-state': <0>}",
                            "{'label': <'Quit'>, 'enabled': <true>, "
                            "'shortcut': <[['Control', 'q']]>}",
                        }));
}

TEST_F(DbusMenuExportTest, PropertyQueriesAgreeWithTheLayout) {
  item->setMenu(sampleMenu());
  int refresh = layout().children.at(3).first;
  auto label = menuCall("GetProperty", g_variant_new("(is)", refresh, "label"));
  EXPECT_EQ(printed(label.value.get()), "(<'Refresh Now'>,)");
  const gchar* names[] = {"enabled", nullptr};
  auto group =
      menuCall("GetGroupProperties",
               g_variant_new("(@ai^as)", g_variant_new_parsed("[%i, 424242]", refresh), names));
  EXPECT_EQ(printed(group.value.get()),
            "([(" + std::to_string(refresh) + ", {'enabled': <true>})],)");
  auto version = client->call(item->serviceName(), menuPath, "org.freedesktop.DBus.Properties",
                              "GetAll", g_variant_new("(s)", menuInterface));
  EXPECT_EQ(printed(version.value.get()),
            "({'Version': <uint32 3>, 'TextDirection': <'ltr'>, 'Status': <'normal'>, "
            "'IconThemePath': <@as []>},)");
}

TEST_F(DbusMenuExportTest, EachNewMenuAnnouncesAGrowingRevision) {
  client->listen(menuInterface);
  item->setMenu(sampleMenu());
  auto first = layout();
  auto smaller = sampleMenu();
  smaller.items.pop_back();
  item->setMenu(smaller);
  auto second = layout();
  EXPECT_LT(first.revision, second.revision);
  EXPECT_EQ(second.children.size(), smaller.items.size());
  EXPECT_EQ(client->signals(), (std::vector<std::string>{
                                   "LayoutUpdated (" + std::to_string(first.revision) + ", 0)",
                                   "LayoutUpdated (" + std::to_string(second.revision) + ", 0)"}));
}

TEST_F(DbusMenuExportTest, ClickingAnActionItemRunsItsAction) {
  item->setMenu(sampleMenu());
  auto ids = layout().children;
  click(ids.at(3).first);
  auto group = menuCall(
      "EventGroup", g_variant_new_parsed("([(%i, 'clicked', <0>, uint32 0)],)", ids.at(6).first));
  EXPECT_EQ(printed(group.value.get()), "([],)");
  MainLoopWait::until([&] { return actions.size() >= 2; }, 10);
  EXPECT_EQ(actions, (std::vector<TrayAction>{TrayAction::refreshNow, TrayAction::quit}));
}

// The application rebuilds the menu after most actions and drops the item on Quit.
TEST_F(DbusMenuExportTest, HandlersMayRebuildTheMenuOrDropTheItem) {
  item->setMenu(sampleMenu());
  auto ids = layout().children;
  item->onAction([&](TrayAction action) {
    actions.push_back(action);
    if (action == TrayAction::quit)
      item.reset();
    else
      item->setMenu(sampleMenu());
  });
  auto group = menuCall("EventGroup", g_variant_new_parsed("([(%i, 'clicked', <0>, uint32 0), "
                                                           "(%i, 'clicked', <0>, uint32 0)],)",
                                                           ids.at(3).first, ids.at(6).first));
  EXPECT_EQ(group.error, "");
  MainLoopWait::until([&] { return !item; }, 10);
  EXPECT_EQ(actions, (std::vector<TrayAction>{TrayAction::refreshNow, TrayAction::quit}));
}

TEST_F(DbusMenuExportTest, StrayAndMalformedRequestsChangeNothing) {
  item->setMenu(sampleMenu());
  auto old = layout().children;
  item->setMenu(sampleMenu());
  auto current = layout().children;

  click(old.at(3).first);  // an id of the previous layout
  click(424242);           // an id that never was
  click(-1);
  click(current.at(0).first);  // a text line
  click(current.at(5).first);  // a disabled item
  click(current.at(3).first, "hovered");
  auto mistyped =
      menuCall("Event", g_variant_new("(ssvu)", "3", "clicked", g_variant_new_int32(0), 0u));
  EXPECT_NE(mistyped.error, "");
  auto group =
      menuCall("EventGroup", g_variant_new_parsed("([(424242, 'clicked', <0>, uint32 0)],)"));
  EXPECT_EQ(printed(group.value.get()), "([424242],)");
  const gchar* all[] = {nullptr};
  EXPECT_NE(menuCall("GetLayout", g_variant_new("(ii^as)", 424242, -1, all)).error, "");
  EXPECT_NE(menuCall("GetProperty", g_variant_new("(is)", 424242, "label")).error, "");
  EXPECT_NE(menuCall("GetProperty", g_variant_new("(is)", current.at(2).first, "label")).error, "");
  auto shown = menuCall("AboutToShow", g_variant_new("(i)", 0));
  EXPECT_EQ(printed(shown.value.get()), "(false,)");

  EXPECT_EQ(actions, std::vector<TrayAction>{});
  EXPECT_EQ(layout().children.size(), sampleMenu().items.size());
}

}  // namespace
}  // namespace meterwright
