#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <future>
#include <thread>

#include "platform/session/HostName.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

TEST(HostName, ReadsThePrettyNameOfMachineInfoAsAShellWould) {
  struct Case {
    const char* text;
    std::optional<std::string> name;
  };
  for (const Case& each : {
           Case{"PRETTY_HOSTNAME=\"Ada's ThinkPad\"\n", "Ada's ThinkPad"},
           Case{"ICON_NAME=computer-laptop\nPRETTY_HOSTNAME='Lab \"B\"'\nCHASSIS=laptop",
                "Lab \"B\""},
           Case{"PRETTY_HOSTNAME=Plain\\ Name # comment", "Plain Name"},
           Case{"PRETTY_HOSTNAME=\"Say \\\"hi\\\"\"", "Say \"hi\""},
           Case{"  PRETTY_HOSTNAME=\"Indented\"", "Indented"},
           Case{"PRETTY_HOSTNAME=\"First\"\nPRETTY_HOSTNAME=\"Second\"", "Second"},
           Case{"PRETTY_HOSTNAME=\"\"", std::nullopt},
           Case{"# PRETTY_HOSTNAME=\"Commented\"\nX_PRETTY_HOSTNAME=\"Other\"", std::nullopt},
           Case{"", std::nullopt},
       }) {
    EXPECT_EQ(HostName::prettyFromMachineInfo(each.text), each.name) << each.text;
  }
}

// Without a system bus the name comes from the file, and without the file from the host name,
// promptly either way.
TEST(HostName, FallsBackToMachineInfoThenTheHostNameWithoutASystemBus) {
  testing::TemporaryFolder temp;
  HostName::Sources sources;
  sources.environment.set("DBUS_SYSTEM_BUS_ADDRESS",
                          "unix:path=" + (temp.path() / "no-bus").string());
  sources.machineInfo = temp.path() / "machine-info";
  testing::writeFile(sources.machineInfo, "PRETTY_HOSTNAME=\"Ada\u2019s ThinkPad\"\n");
  EXPECT_EQ(HostName::deviceName(sources), "Ada\u2019s ThinkPad");

  std::filesystem::remove(sources.machineInfo);
  std::array<char, 256> host{};
  ASSERT_EQ(::gethostname(host.data(), host.size() - 1), 0);
  EXPECT_EQ(HostName::deviceName(sources), host.data());
}

// org.freedesktop.hostname1 with its PrettyHostname property, served on a thread of its own:
// the lookup waits on a main context of its own and would never dispatch a server on the test's.
class FakeHostnamed {
 public:
  FakeHostnamed(const std::string& busAddress, std::string prettyName)
      : prettyName_(std::move(prettyName)) {
    std::promise<bool> owned;
    std::future<bool> ready = owned.get_future();
    thread_ = std::thread([this, busAddress, &owned] { serve(busAddress, owned); });
    ready_ = ready.wait_for(std::chrono::seconds(10)) == std::future_status::ready && ready.get();
  }
  ~FakeHostnamed() {
    while (!loop_.load()) std::this_thread::yield();
    g_main_loop_quit(loop_.load());
    thread_.join();
  }

  bool ready() const { return ready_; }

 private:
  void serve(const std::string& busAddress, std::promise<bool>& owned) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(busAddress.c_str(), flags,
                                                                         nullptr, nullptr, nullptr);
    bool named = false;
    if (connection) {
      GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
          R"(<node><interface name="org.freedesktop.hostname1">
               <property name="PrettyHostname" type="s" access="read"/>
             </interface></node>)",
          nullptr);
      static const GDBusInterfaceVTable vtable{
          nullptr,
          [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
             gpointer data) {
            return g_variant_new_string(static_cast<FakeHostnamed*>(data)->prettyName_.c_str());
          },
          nullptr,
          {}};
      g_dbus_connection_register_object(connection, "/org/freedesktop/hostname1",
                                        node->interfaces[0], &vtable, this, nullptr, nullptr);
      g_dbus_node_info_unref(node);
      GVariant* reply = g_dbus_connection_call_sync(
          connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "RequestName", g_variant_new("(su)", "org.freedesktop.hostname1", 4u),
          G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
      if (reply) {
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        named = result == 1;
        g_variant_unref(reply);
      }
    }
    loop_.store(loop);
    owned.set_value(named);
    g_main_loop_run(loop);
    if (connection) {
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
    }
    g_main_loop_unref(loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  std::string prettyName_;
  std::atomic<GMainLoop*> loop_{nullptr};
  bool ready_ = false;
  std::thread thread_;
};

TEST(HostName, AsksHostnamedFirst) {
  testing::TemporaryFolder temp;
  testing::PrivateBus bus(temp.path());
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  FakeHostnamed hostnamed(bus.address(), "Lab \u00b7 Bench 3");
  ASSERT_TRUE(hostnamed.ready());
  HostName::Sources sources;
  sources.environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
  sources.machineInfo = temp.path() / "machine-info";
  testing::writeFile(sources.machineInfo, "PRETTY_HOSTNAME=\"From the file\"\n");
  sources.busDeadline = 5;
  EXPECT_EQ(HostName::deviceName(sources), "Lab \u00b7 Bench 3");
}

}  // namespace
}  // namespace meterwright
