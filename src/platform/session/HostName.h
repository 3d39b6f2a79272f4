#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/EnvironmentBlock.h"

// The name this computer shows paired devices: the name its owner gave it ("Ada's ThinkPad"),
// as systemd's hostnamed keeps it, else the plain host name.
namespace meterwright::HostName {

struct Sources {
  // Where the system bus is (DBUS_SYSTEM_BUS_ADDRESS or the well-known socket).
  EnvironmentBlock environment;
  // Read when hostnamed does not answer: the file hostnamed itself keeps the name in.
  std::filesystem::path machineInfo = "/etc/machine-info";
  // For opening the system bus and for the call each: a job on a machine without one must not
  // wait long.
  double busDeadline = 0.5;
};

// The value of PRETTY_HOSTNAME in the text of a machine-info file (shell-style assignments, the
// value bare, in single or in double quotes); nothing when it is missing or empty.
std::optional<std::string> prettyFromMachineInfo(std::string_view text);

// hostnamed's PrettyHostname over the system bus, else the machine-info file's, else
// gethostname(), else "Linux". Waits on a main context of its own, so the caller's sources are
// not run meanwhile.
std::string deviceName(const Sources& sources);

}  // namespace meterwright::HostName
