#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "platform/appearance/ColorScheme.h"
#include "support/FakeBusObject.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace std::chrono_literals;

Environment environmentOf(std::map<std::string, std::string> variables) {
  return [variables](const char* name) -> std::optional<std::string> {
    auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  };
}

TEST(ColorScheme, GtkSettingsDecideWithoutABus) {
  testing::TemporaryFolder folder;
  auto environment = environmentOf({{"XDG_CONFIG_HOME", folder.path().string()}});
  EXPECT_FALSE(ColorScheme::prefersDark(environment));
  testing::writeFile(folder.path() / "gtk-3.0/settings.ini",
                     "[Settings]\ngtk-theme-name=Adwaita\ngtk-application-prefer-dark-theme=1\n");
  EXPECT_TRUE(ColorScheme::prefersDark(environment));
  // GTK 4's file comes first.
  testing::writeFile(folder.path() / "gtk-4.0/settings.ini",
                     "[Settings]\ngtk-application-prefer-dark-theme = false\n");
  EXPECT_FALSE(ColorScheme::prefersDark(environment));
}

// The settings portal's stand-in: answers the colour-scheme question with `scheme`, or never.
struct Portal {
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  std::atomic<guint32> scheme{0};
  std::atomic<bool> answers = true;

  void handle(const gchar*, GVariant*, GDBusMethodInvocation* invocation) {
    if (!answers) return;  // the invocation is dropped unanswered
    g_dbus_method_invocation_return_value(invocation,
                                          g_variant_new("(v)", g_variant_new_uint32(scheme)));
  }
};

// A session bus of the test's own; the portal is served on a thread of its own, as the lookup
// blocks the test's.
class PortalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  }

  void startPortal(guint32 scheme) {
    answer.scheme = scheme;
    portal.emplace(address, R"(<node><interface name="org.freedesktop.portal.Settings">
                     <method name="ReadOne"><arg type="s" direction="in"/>
                     <arg type="s" direction="in"/><arg type="v" direction="out"/></method>
                   </interface></node>)",
                   "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Desktop", answer);
    ASSERT_TRUE(portal->ready());
  }

  testing::TemporaryFolder folder;
  testing::PrivateBus bus{folder.path()};
  const std::string& address = bus.address();
  Portal answer;  // what the stand-in answers; the test changes it between questions
  std::optional<testing::FakeObjectThread<Portal>> portal;  // last: it serves `answer`
};

TEST_F(PortalTest, ThePortalsPreferenceWinsAndWithoutAnAnswerThereIsNone) {
  startPortal(1);
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), true);
  answer.scheme = 2;
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), false);
  // No preference: GTK's setting decides, here none, so light.
  answer.scheme = 0;
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), std::nullopt);
  EXPECT_FALSE(ColorScheme::prefersDark(environmentOf({{"DBUS_SESSION_BUS_ADDRESS", address}})));
  // A portal that never answers, or none, means no preference.
  answer.scheme = 1;
  answer.answers = false;
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 200ms), std::nullopt);
  portal.reset();
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), std::nullopt);
}

}  // namespace
}  // namespace meterwright
