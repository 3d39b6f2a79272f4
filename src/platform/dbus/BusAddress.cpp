#include "platform/dbus/BusAddress.h"

#include <sys/stat.h>

namespace meterwright::BusAddress {

std::optional<std::string> session(const EnvironmentBlock& environment) {
  if (auto address = environment.get("DBUS_SESSION_BUS_ADDRESS"); address && !address->empty())
    return address;
  auto runtime = environment.get("XDG_RUNTIME_DIR");
  if (!runtime || runtime->empty() || runtime->front() != '/') return std::nullopt;
  std::string socket = *runtime + "/bus";
  struct stat status {};
  if (::stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) return std::nullopt;
  return "unix:path=" + socket;
}

std::string system(const EnvironmentBlock& environment) {
  if (auto address = environment.get("DBUS_SYSTEM_BUS_ADDRESS"); address && !address->empty())
    return *address;
  return "unix:path=/run/dbus/system_bus_socket";
}

}  // namespace meterwright::BusAddress
