#pragma once

#include <optional>
#include <string>

#include "core/settings/EnvironmentBlock.h"

// Where the buses are, from the environment alone. Nothing here starts a bus: GLib's own lookup
// would launch one through dbus-launch when none is found, and a headless session has to learn
// that it has none.
namespace meterwright::BusAddress {

// DBUS_SESSION_BUS_ADDRESS, else the user's socket $XDG_RUNTIME_DIR/bus when it exists.
std::optional<std::string> session(const EnvironmentBlock& environment);

// DBUS_SYSTEM_BUS_ADDRESS, else the system bus's well-known socket.
std::string system(const EnvironmentBlock& environment);

}  // namespace meterwright::BusAddress
