#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "platform/appearance/ColorScheme.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/ExecutableSearch.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
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

// A session bus of the test's own, and on it a stand-in for the settings portal that answers
// the colour-scheme question with `scheme` (or never, for the deadline).
class PortalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto daemon = ExecutableSearch::find({}, "dbus-daemon", EnvironmentBlock::ofProcess());
    if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
    ChildProcess::Launch launch;
    launch.executable = *daemon;
    launch.arguments = {"--session", "--nofork", "--nopidfile", "--print-address=1",
                        "--address=unix:path=" + (folder.path() / "bus").string()};
    launch.environment = EnvironmentBlock::ofProcess();
    launch.output = ChildProcess::Stream::pipe;
    bus = ChildProcess::start(launch);
    ASSERT_TRUE(bus);
    bus->readOutput(ChildProcess::deadlineAfter(10), [&](std::string_view chunk) {
      address += chunk;
      return address.find('\n') == std::string::npos;
    });
    ASSERT_NE(address.find("unix:"), std::string::npos) << address;
    address.erase(address.find('\n'));
  }

  void TearDown() override {
    if (portal.joinable()) {
      g_main_loop_quit(loop);
      portal.join();
    }
    if (loop) g_main_loop_unref(loop);
    if (bus) bus->terminate(5);
  }

  // Owns org.freedesktop.portal.Desktop on the bus and answers ReadOne with `scheme`.
  void startPortal(guint32 scheme, bool answers = true) {
    GMainContext* context = g_main_context_new();
    loop = g_main_loop_new(context, FALSE);
    std::promise<void> ready;
    portal = std::thread([this, context, scheme, answers, &ready] {
      g_main_context_push_thread_default(context);
      GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
          address.c_str(),
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, nullptr, nullptr);
      GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
          "<node><interface name='org.freedesktop.portal.Settings'><method name='ReadOne'>"
          "<arg type='s' direction='in'/><arg type='s' direction='in'/>"
          "<arg type='v' direction='out'/></method></interface></node>",
          nullptr);
      static GDBusInterfaceVTable vtable{
          [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
             GDBusMethodInvocation* invocation, gpointer data) {
            auto* self = static_cast<Answer*>(data);
            if (!self->answers) return;  // never answers
            g_dbus_method_invocation_return_value(
                invocation, g_variant_new("(v)", g_variant_new_uint32(self->scheme)));
          },
          nullptr,
          nullptr,
          {}};
      answer.scheme = scheme;
      answer.answers = answers;
      g_dbus_connection_register_object(connection, "/org/freedesktop/portal/desktop",
                                        node->interfaces[0], &vtable, &answer, nullptr, nullptr);
      GVariant* owned = g_dbus_connection_call_sync(
          connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "RequestName", g_variant_new("(su)", "org.freedesktop.portal.Desktop", 0u), nullptr,
          G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
      if (owned) g_variant_unref(owned);
      ready.set_value();
      g_main_loop_run(loop);
      g_dbus_node_info_unref(node);
      g_object_unref(connection);
      g_main_context_pop_thread_default(context);
      g_main_context_unref(context);
    });
    ready.get_future().wait();
  }

  testing::TemporaryFolder folder;
  std::optional<ChildProcess> bus;
  std::string address;
  GMainLoop* loop = nullptr;
  std::thread portal;
  // What the stand-in answers; the test changes it between questions.
  struct Answer {
    std::atomic<guint32> scheme{0};
    bool answers = true;
  } answer;
};

TEST_F(PortalTest, ThePortalsPreferenceWins) {
  startPortal(1);
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), true);
  answer.scheme = 2;
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), false);
  // No preference: GTK's setting decides, here none, so light.
  answer.scheme = 0;
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), std::nullopt);
  EXPECT_FALSE(ColorScheme::prefersDark(environmentOf({{"DBUS_SESSION_BUS_ADDRESS", address}})));
}

TEST_F(PortalTest, NoPortalOrNoAnswerMeansNoPreference) {
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 5000ms), std::nullopt);
  startPortal(1, false);
  EXPECT_EQ(ColorScheme::portalPrefersDark(address, 200ms), std::nullopt);
}

}  // namespace
}  // namespace meterwright
