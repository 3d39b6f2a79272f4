#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "platform/session/HostName.h"
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

}  // namespace
}  // namespace meterwright
