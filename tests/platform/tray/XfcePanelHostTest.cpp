#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>

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

// A dump of the screen in xwd's format; empty when xwd fails.
std::string screenDump(const std::string& xwd, const EnvironmentBlock& environment) {
  ChildProcess::Launch launch;
  launch.executable = xwd;
  launch.arguments = {"-root", "-silent"};
  launch.environment = environment;
  launch.output = ChildProcess::Stream::pipe;
  auto child = ChildProcess::start(launch);
  if (!child) return {};
  std::string dump;
  child->readOutput(ChildProcess::deadlineAfter(10), [&](std::string_view chunk) {
    dump += chunk;
    return true;
  });
  child->terminate(1);
  return dump;
}

// How many pixels of the top `rows` of an xwd dump are the disc's orange. Xvfb's 24-bit screen
// comes as 3 or 4 bytes a pixel, least significant (blue) first; -1 for a dump in another form.
int orangePixels(const std::string& dump, int rows) {
  auto field = [&](std::size_t index) -> std::uint32_t {
    std::size_t at = index * 4;
    if (dump.size() < at + 4) return 0;
    auto byte = [&](std::size_t i) {
      return static_cast<std::uint32_t>(std::uint8_t(dump[at + i]));
    };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
  };
  std::uint32_t headerSize = field(0), width = field(4), byteOrder = field(7),
                bytesPerPixel = field(11) / 8, bytesPerLine = field(12), redMask = field(14),
                colours = field(19);
  if ((bytesPerPixel != 3 && bytesPerPixel != 4) || redMask != 0xff0000u || byteOrder != 0)
    return -1;
  std::size_t data = headerSize + colours * 12;
  int count = 0;
  for (int y = 0; y < rows; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::size_t at = data + y * bytesPerLine + x * bytesPerPixel;
      if (dump.size() < at + 3) return -1;
      auto blue = std::uint8_t(dump[at]), green = std::uint8_t(dump[at + 1]),
           red = std::uint8_t(dump[at + 2]);
      if (red > 0xf0 && green > 0x60 && green < 0xa0 && blue < 0x30) ++count;
    }
  }
  return count;
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
  // The panel fits every picture into a square, so the item must know it is not waybar. The
  // notification area runs as a plugin process of its own, named after its place in the panel.
  EXPECT_EQ(item->hostProgram(), "panel-1-systray");
  EXPECT_FALSE(TrayItem::keepsPictureWidth(item->hostProgram()));

  auto registered = client->call(
      "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties",
      "Get",
      g_variant_new("(ss)", "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"));
  EXPECT_NE(testing::printed(registered.value.get()).find(item->serviceName()), std::string::npos)
      << testing::printed(registered.value.get()) << "\nxfce4-panel said:\n"
      << peerLog();

  // The panel draws the disc in its strip: the pixmap reached it in the byte order it reads. A
  // byte-swapped image would come out blue.
  auto xwd = ExecutableSearch::find({"/usr/bin/xwd"}, "xwd", environment);
  if (!xwd) {
    std::cout << "xwd is not installed (scripts/setup installs it): the drawing is not checked\n";
  } else {
    std::string dump;
    auto deadline = ChildProcess::deadlineAfter(20);
    while ((dump = screenDump(*xwd, environment), orangePixels(dump, 32) < 100) &&
           std::chrono::steady_clock::now() < deadline)
      MainLoopWait::run(0.2);
    EXPECT_GE(orangePixels(dump, 32), 100) << "xfce4-panel said:\n" << peerLog();
    // For people checking how the panel draws the item: METERWRIGHT_TRAY_SCREENSHOT names a
    // file for the dump (xwd's format).
    if (const char* screenshot = std::getenv("METERWRIGHT_TRAY_SCREENSHOT"))
      testing::writeFile(screenshot, dump);
  }
  host->terminate(5);
  settings->terminate(5);
}

}  // namespace
}  // namespace meterwright
