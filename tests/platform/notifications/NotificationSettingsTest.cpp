#include <gtest/gtest.h>

#include "platform/notifications/NotificationSettings.h"
#include "support/FakePrograms.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

TEST(NotificationSettings, EachKnownDesktopOpensItsOwnPanelWhenInstalled) {
  testing::TemporaryFolder folder;
  auto bin = testing::FakePrograms::binFolder(folder);
  for (const char* program : {"gnome-control-center", "systemsettings"})
    testing::FakePrograms::installScript(folder, program, "exit 0\n");
  auto commandFor = [&](const char* desktop) {
    return NotificationSettings::command(
        EnvironmentBlock({"PATH=" + bin.string(), std::string("XDG_CURRENT_DESKTOP=") + desktop}));
  };
  using Command = std::optional<std::vector<std::string>>;
  EXPECT_EQ(commandFor("ubuntu:GNOME"),
            (Command{{(bin / "gnome-control-center").string(), "notifications"}}));
  EXPECT_EQ(commandFor("KDE"), (Command{{(bin / "systemsettings").string(), "kcm_notifications"}}));
  EXPECT_EQ(commandFor("XFCE"), std::nullopt);  // xfce4-notifyd-config is not installed
  EXPECT_EQ(commandFor("sway"), std::nullopt);
  EXPECT_EQ(commandFor(""), std::nullopt);
}

}  // namespace
}  // namespace meterwright
