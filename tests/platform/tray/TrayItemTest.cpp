#include <gtest/gtest.h>

#include <fstream>

#include "TrayTestBus.h"
#include "platform/tray/TrayItem.h"
#include "support/FakeStatusNotifierWatcher.h"

namespace meterwright {
namespace {

using testing::FakeStatusNotifierWatcher;
using testing::printed;

constexpr const char* itemInterface = "org.kde.StatusNotifierItem";
constexpr const char* itemPath = "/StatusNotifierItem";

class TrayItemTest : public testing::TrayTestBus {};

TrayPresentation sample() {
  TrayPresentation presentation;
  // A 2×1 image (opaque red, then half-transparent green) and a 1×1 one (transparent).
  presentation.pixmaps = {{2, 1, {0xffff0000u, 0x80008000u}}, {1, 1, {0x00000000u}}};
  presentation.tooltipTitle = "Meterwright";
  presentation.tooltipText = "Claude 5h: 42% left";
  presentation.label = "42%";
  presentation.labelGuide = "100%";
  presentation.needsAttention = true;
  return presentation;
}

TEST_F(TrayItemTest, RegistersItsNameWithTheWatcherAndPropertiesReadBackAsSet) {
  FakeStatusNotifierWatcher watcher(bus->address());
  ASSERT_TRUE(watcher.ready());
  auto item = makeItem(optionsOnBus());
  item->setPresentation(sample());
  ASSERT_TRUE(waitForReports(1));
  EXPECT_EQ(reports, std::vector<bool>{true});
  EXPECT_EQ(watcher.registrations(), std::vector<std::string>{item->serviceName()});
  EXPECT_TRUE(item->serviceName().starts_with("org.kde.StatusNotifierItem-"));
  // The stand-in watcher runs in this process: the host is this program.
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  EXPECT_EQ(item->hostProgram(), self);

  auto proxy = client->proxy(item->serviceName(), itemPath, itemInterface);
  ASSERT_TRUE(proxy);
  // Type and value, as a host that checks the signature sees them.
  auto property = [&](const char* name) {
    glib::Variant value(g_dbus_proxy_get_cached_property(proxy.get(), name));
    if (!value) return std::string("(absent)");
    return std::string(g_variant_get_type_string(value.get())) + " " + printed(value.get());
  };
  struct Case {
    const char* name;
    const char* value;
  };
  for (const Case& each : {
           Case{"Category", "s 'ApplicationStatus'"},
           Case{"Id", "s 'meterwright'"},
           Case{"Title", "s 'Meterwright'"},
           Case{"Status", "s 'NeedsAttention'"},
           Case{"IconName", "s ''"},
           // A,R,G,B with straight alpha: 0x80 green premultiplied by 0x80 is full green.
           Case{"IconPixmap",
                "a(iiay) [(2, 1, [0xff, 0xff, 0x00, 0x00, 0x80, 0x00, 0xff, 0x00]), "
                "(1, 1, [0x00, 0x00, 0x00, 0x00])]"},
           Case{"ToolTip", "(sa(iiay)ss) ('', [], 'Meterwright', 'Claude 5h: 42% left')"},
           Case{"Menu", "o '/MenuBar'"},
           Case{"ItemIsMenu", "b false"},
           Case{"XAyatanaLabel", "s '42%'"},
           Case{"XAyatanaLabelGuide", "s '100%'"},
       }) {
    EXPECT_EQ(property(each.name), each.value) << each.name;
  }
}

// Hosts refetch and redraw on every New… signal: an unchanged value must not send one.
TEST_F(TrayItemTest, SignalsOnlyTheValuesThatChanged) {
  FakeStatusNotifierWatcher watcher(bus->address());
  auto item = makeItem(optionsOnBus());
  ASSERT_TRUE(waitForReports(1));
  client->listen(itemInterface);
  // A call answered by the item comes after every signal it sent before.
  auto settle = [&] {
    client->call(item->serviceName(), itemPath, "org.freedesktop.DBus.Properties", "Get",
                 g_variant_new("(ss)", itemInterface, "Status"));
  };

  item->setPresentation(sample());
  settle();
  EXPECT_EQ(client->signals(), (std::vector<std::string>{"NewIcon ()", "NewToolTip ()",
                                                         "NewStatus ('NeedsAttention',)",
                                                         "XAyatanaNewLabel ('42%', '100%')"}));

  client->clearSignals();
  item->setPresentation(sample());
  settle();
  EXPECT_EQ(client->signals(), std::vector<std::string>{});

  auto next = sample();
  next.label = "41%";
  next.needsAttention = false;
  item->setPresentation(next);
  settle();
  EXPECT_EQ(client->signals(), (std::vector<std::string>{"NewStatus ('Active',)",
                                                         "XAyatanaNewLabel ('41%', '100%')"}));
}

TEST_F(TrayItemTest, TextThatIsNotUtf8IsMendedNotRefused) {
  FakeStatusNotifierWatcher watcher(bus->address());
  auto item = makeItem(optionsOnBus());
  auto presentation = sample();
  presentation.tooltipText = "Codex \xc3";
  presentation.label = "4\xff%";
  item->setPresentation(presentation);
  ASSERT_TRUE(waitForReports(1));
  auto proxy = client->proxy(item->serviceName(), itemPath, itemInterface);
  ASSERT_TRUE(proxy);
  glib::Variant label(g_dbus_proxy_get_cached_property(proxy.get(), "XAyatanaLabel"));
  glib::Variant tip(g_dbus_proxy_get_cached_property(proxy.get(), "ToolTip"));
  EXPECT_EQ(printed(label.get()), "'4\uFFFD%'");
  EXPECT_EQ(printed(tip.get()), "('', [], 'Meterwright', 'Codex \uFFFD')");
}

TEST_F(TrayItemTest, WatcherAppearingLaterGetsTheItemRegistered) {
  auto item = makeItem(optionsOnBus(0));
  ASSERT_TRUE(waitForReports(1));
  EXPECT_EQ(reports, std::vector<bool>{false});

  FakeStatusNotifierWatcher watcher(bus->address());
  ASSERT_TRUE(waitForReports(2));
  EXPECT_EQ(reports, (std::vector<bool>{false, true}));
  EXPECT_EQ(watcher.registrations(), std::vector<std::string>{item->serviceName()});
}

TEST_F(TrayItemTest, WatcherGoneAndBackRegistersAgain) {
  auto first = std::make_unique<FakeStatusNotifierWatcher>(bus->address());
  auto item = makeItem(optionsOnBus());
  ASSERT_TRUE(waitForReports(1));
  first->leave();
  ASSERT_TRUE(waitForReports(2));
  EXPECT_EQ(item->hostProgram(), "") << "the host that left is forgotten";

  FakeStatusNotifierWatcher second(bus->address());
  ASSERT_TRUE(waitForReports(3));
  EXPECT_EQ(reports, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(second.registrations(), std::vector<std::string>{item->serviceName()});
}

TEST_F(TrayItemTest, WatcherWithoutAHostCountsAsNoneUntilOneComes) {
  FakeStatusNotifierWatcher watcher(bus->address(), false);
  auto item = makeItem(optionsOnBus());
  ASSERT_TRUE(waitForReports(1));
  EXPECT_EQ(reports, std::vector<bool>{false});
  watcher.registerHost();
  ASSERT_TRUE(waitForReports(2));
  EXPECT_EQ(reports, (std::vector<bool>{false, true}));
}

TEST_F(TrayItemTest, BusGoingAwayMeansNoHost) {
  FakeStatusNotifierWatcher watcher(bus->address());
  auto item = makeItem(optionsOnBus());
  ASSERT_TRUE(waitForReports(1));
  bus->stop();
  ASSERT_TRUE(waitForReports(2));
  EXPECT_EQ(reports, (std::vector<bool>{true, false}));
  // Still usable, with nothing to show it on.
  item->setPresentation(sample());
  item->setMenu({});
}

TEST_F(TrayItemTest, NoSessionBusMeansNoHost) {
  TrayItem::Options options;
  // No address and no user bus socket: nothing to connect to, and nothing is launched.
  std::filesystem::create_directories(folder.path() / "runtime");
  options.environment.set("XDG_RUNTIME_DIR", (folder.path() / "runtime").string());
  auto item = makeItem(options);
  ASSERT_TRUE(waitForReports(1));
  EXPECT_EQ(reports, std::vector<bool>{false});
}

TEST_F(TrayItemTest, ActivateReachesTheHandlerWithItsPosition) {
  FakeStatusNotifierWatcher watcher(bus->address());
  auto item = makeItem(optionsOnBus());
  std::vector<std::pair<int, int>> clicks;
  item->onActivate([&](int x, int y) { clicks.emplace_back(x, y); });
  ASSERT_TRUE(waitForReports(1));
  for (const char* method : {"Activate", "SecondaryActivate", "ContextMenu"}) {
    auto reply = client->call(item->serviceName(), itemPath, itemInterface, method,
                              g_variant_new("(ii)", 120, 8));
    EXPECT_EQ(reply.error, "") << method;
  }
  auto scrolled = client->call(item->serviceName(), itemPath, itemInterface, "Scroll",
                               g_variant_new("(is)", 3, "vertical"));
  EXPECT_EQ(scrolled.error, "");
  MainLoopWait::until([&] { return !clicks.empty(); }, 10);
  EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{120, 8}}));
}

}  // namespace
}  // namespace meterwright
