#include <gtest/gtest.h>

#include "platform/session/LoginItem.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::readFile;
using testing::writeFile;
using Status = LoginItem::Status;
using Failure = LoginItem::Failure;

class LoginItemTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
  std::filesystem::path autostart = folder.path() / "config" / "autostart";
  LoginItem item{autostart, "/opt/meterwright/bin/meterwright"};
};

TEST_F(LoginItemTest, EnablingWritesTheEntryDisablingRemovesItAndAnotherEntryIsLeftAlone) {
  EXPECT_EQ(item.status(), Status::notRegistered);
  EXPECT_EQ(item.set(false), std::nullopt);

  EXPECT_EQ(item.set(true), std::nullopt);
  EXPECT_EQ(item.path(), autostart / "meterwright.desktop");
  EXPECT_EQ(readFile(item.path()),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Meterwright\n"
            "Comment=How much of their quota windows your AI coding agents have left\n"
            "Exec=/opt/meterwright/bin/meterwright\n"
            "Icon=dev.velmora.meterwright\n"
            "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n"
            "X-Meterwright-Autostart=true\n");
  EXPECT_EQ(item.status(), Status::enabled);

  EXPECT_EQ(item.set(false), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(item.path()));
  EXPECT_EQ(item.status(), Status::notRegistered);

  // An entry someone else wrote is left alone.
  const std::string theirs = "[Desktop Entry]\nType=Application\nExec=meterwright --print\n";
  writeFile(autostart / "meterwright.desktop", theirs);
  EXPECT_EQ(item.status(), Status::foreign);
  EXPECT_EQ(item.set(false), std::nullopt);
  EXPECT_EQ(item.set(true),
            (Failure{Failure::Kind::foreignEntry, (autostart / "meterwright.desktop").string()}));
  EXPECT_EQ(readFile(autostart / "meterwright.desktop"), theirs);
}

TEST_F(LoginItemTest, ExecQuotesPathsTheWayLaunchersReadThem) {
  struct Case {
    const char* path;
    const char* exec;
  };
  const Case cases[] = {
      {"/home/ana/My Apps/meterwright", "Exec=\"/home/ana/My Apps/meterwright\"\n"},
      {"/opt/100%/meterwright", "Exec=/opt/100%%/meterwright\n"},
      {"/opt/a\"b$c`d\\e", "Exec=\"/opt/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e\"\n"},
  };
  for (const auto& test : cases) {
    auto text = LoginItem::entry(test.path);
    ASSERT_TRUE(text) << test.path;
    EXPECT_NE(text->find(test.exec), std::string::npos) << *text;
  }
  EXPECT_EQ(LoginItem::entry("/opt/line\nbreak"), std::nullopt);
  EXPECT_EQ(LoginItem::entry("relative/meterwright"), std::nullopt);
  EXPECT_EQ(LoginItem("/unused", "/opt/line\nbreak").set(true)->kind,
            Failure::Kind::unrepresentablePath);
}

TEST_F(LoginItemTest, TheFolderComesFromXdgConfigHome) {
  auto environment = [&](const char* name) -> std::optional<std::string> {
    if (std::string(name) == "XDG_CONFIG_HOME") return (folder.path() / "xdg").string();
    return std::nullopt;
  };
  auto fromEnvironment = LoginItem::forProcess(environment, folder.path() / "home");
  EXPECT_EQ(fromEnvironment.path(), folder.path() / "xdg" / "autostart" / "meterwright.desktop");
  auto fromHome = LoginItem::forProcess([](const char*) { return std::optional<std::string>(); },
                                        folder.path() / "home");
  EXPECT_EQ(fromHome.path(), folder.path() / "home/.config/autostart/meterwright.desktop");
  ASSERT_EQ(fromHome.set(true), std::nullopt);
  // The running executable, by its absolute path.
  EXPECT_NE(readFile(fromHome.path()).find("Exec=/"), std::string::npos);
}

}  // namespace
}  // namespace meterwright
