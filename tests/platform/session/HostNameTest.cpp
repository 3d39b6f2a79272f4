#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "platform/session/HostName.h"
#include "support/FakeBusObject.h"
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
struct FakeHostnamed {
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  std::string prettyName;

  void handle(const gchar*, GVariant*, GDBusMethodInvocation*) {}
  GVariant* property(const gchar*) { return g_variant_new_string(prettyName.c_str()); }
};

TEST(HostName, AsksHostnamedFirst) {
  testing::TemporaryFolder temp;
  testing::PrivateBus bus(temp.path());
  if (!bus.problem().empty()) GTEST_SKIP() << bus.problem();
  FakeHostnamed hostnamed{nullptr, 0, "Lab \u00b7 Bench 3"};
  testing::FakeObjectThread serving(bus.address(), R"(<node>
      <interface name="org.freedesktop.hostname1">
        <property name="PrettyHostname" type="s" access="read"/>
      </interface></node>)",
                                    "/org/freedesktop/hostname1", "org.freedesktop.hostname1",
                                    hostnamed);
  ASSERT_TRUE(serving.ready());
  HostName::Sources sources;
  sources.environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
  sources.machineInfo = temp.path() / "machine-info";
  testing::writeFile(sources.machineInfo, "PRETTY_HOSTNAME=\"From the file\"\n");
  sources.busDeadline = 5;
  EXPECT_EQ(HostName::deviceName(sources), "Lab \u00b7 Bench 3");
}

}  // namespace
}  // namespace meterwright
