#include <gtest/gtest.h>

#include <cstdlib>

#include "TrayTestBus.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/ExecutableSearch.h"
#include "support/VirtualDisplay.h"

namespace meterwright {
namespace {

// A panel with nothing but the notification area, which is xfce4-panel's StatusNotifierWatcher
// and host.
const char* const panelChannel = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";

// A 22×22 image: an orange disc on transparency, premultiplied as cairo draws it.
TrayPixmap disc() {
  TrayPixmap pixmap{22, 22, {}};
  for (int y = 0; y < 22; ++y) {
    for (int x = 0; x < 22; ++x) {
      int dx = 2 * x - 21, dy = 2 * y - 21;
      bool inside = dx * dx + dy * dy <= 20 * 20;
      pixmap.pixels.push_back(inside ? 0xffff8000u : 0u);
    }
  }
  return pixmap;
}

class XfcePanelHostTest : public testing::TrayTestBus {
 protected:
  // Runs `program` with its standard error appended to the log, so a failure can show it.
  std::optional<ChildProcess> startLogged(const std::string& program,
                                          const std::string& arguments) {
    ChildProcess::Launch launch;
    launch.executable = "/bin/sh";
    launch.arguments = {"-c", "exec \"$0\" " + arguments + " 2>>\"$PEER_LOG\"", program};
    launch.environment = environment;
    return ChildProcess::start(launch);
  }

  std::string peerLog() const { return testing::readFile(folder.path() / "peer.log"); }

  EnvironmentBlock environment = EnvironmentBlock::ofProcess();
};

TEST_F(XfcePanelHostTest, PanelRegistersTheItemWithItsWatcher) {
  auto panel = ExecutableSearch::find({"/usr/bin/xfce4-panel"}, "xfce4-panel", environment);
  if (!panel) GTEST_SKIP() << "xfce4-panel is not installed (scripts/setup installs it)";
  // The panel keeps its layout in xfconf, whose daemon the private bus does not start on demand.
  auto xfconfd = ExecutableSearch::find(
      {"/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd",
       "/usr/lib/aarch64-linux-gnu/xfce4/xfconf/xfconfd", "/usr/lib/xfce4/xfconf/xfconfd"},
      "xfconfd", environment);
  if (!xfconfd) GTEST_SKIP() << "xfconfd is not installed (it comes with xfce4-panel)";
  testing::VirtualDisplay display;
  if (!display.problem().empty()) GTEST_SKIP() << display.problem();

  auto config = folder.path() / "config";
  testing::writeFile(config / "xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml", panelChannel);
  environment.set("XDG_CONFIG_HOME", config.string());
  environment.set("DISPLAY", display.name());
  environment.set("DBUS_SESSION_BUS_ADDRESS", bus->address());
  environment.set("PEER_LOG", (folder.path() / "peer.log").string());
  // No accessibility bus to look for, and no session manager to register with.
  environment.set("NO_AT_BRIDGE", "1");
  environment.remove("SESSION_MANAGER");
  auto settings = startLogged(*xfconfd, "");
  auto host = startLogged(*panel, "--disable-wm-check");
  ASSERT_TRUE(settings && host);

  // The panel may take a while to bring its notification area up: a generous grace.
  auto item = makeItem(optionsOnBus(30));
  TrayPresentation presentation;
  presentation.pixmaps = {disc()};
  presentation.tooltipTitle = "Meterwright";
  presentation.label = "42%";
  item->setPresentation(presentation);
  ASSERT_TRUE(waitForReports(1)) << peerLog();
  ASSERT_EQ(reports, std::vector<bool>{true}) << "xfce4-panel said:\n" << peerLog();

  auto registered = client->call(
      "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties",
      "Get",
      g_variant_new("(ss)", "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"));
  EXPECT_NE(testing::printed(registered.value.get()).find(item->serviceName()), std::string::npos)
      << testing::printed(registered.value.get()) << "\nxfce4-panel said:\n"
      << peerLog();

  // For people checking how the panel draws the item: METERWRIGHT_TRAY_SCREENSHOT names a file.
  if (const char* screenshot = std::getenv("METERWRIGHT_TRAY_SCREENSHOT")) {
    MainLoopWait::run(2);
    std::string command = "xwd -root -display " + display.name() + " | convert xwd:- \"" +
                          std::string(screenshot) + "\"";
    if (std::system(command.c_str()) != 0) std::cerr << "no screenshot taken\n";
  }
  host->terminate(5);
  settings->terminate(5);
}

}  // namespace
}  // namespace meterwright
