#include "core/files/FileLocations.h"

#include <pwd.h>
#include <unistd.h>

#include <system_error>

namespace meterwright {

namespace fs = std::filesystem;

fs::path FileLocations::configFile() const {
  return home / ".config" / "meterwright" / "config.json";
}

fs::path FileLocations::userDefaultsFile() const {
  return (stateHome ? *stateHome : temporary) / "meterwright" / "defaults.json";
}

fs::path FileLocations::pollStateFolder() const {
  return userDefaultsFile().parent_path() / "poll";
}

fs::path FileLocations::supportFolder() const {
  return (applicationSupport ? *applicationSupport : temporary) / "Meterwright";
}

FileLocations FileLocations::fromEnvironment(const Environment& environment) {
  FileLocations locations;
  auto absolute = [&](const char* name) -> std::optional<fs::path> {
    auto value = environment(name);
    if (!value || value->empty() || (*value)[0] != '/') return std::nullopt;
    return fs::path(*value);
  };

  if (auto home = absolute("HOME")) {
    locations.home = *home;
  } else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
    locations.home = entry->pw_dir;
  }
  bool hasHome = !locations.home.empty();
  if (locations.home.empty()) locations.home = "/";

  locations.applicationSupport = absolute("XDG_DATA_HOME");
  if (!locations.applicationSupport && hasHome) {
    locations.applicationSupport = locations.home / ".local" / "share";
  }
  locations.stateHome = absolute("XDG_STATE_HOME");
  if (!locations.stateHome && hasHome) locations.stateHome = locations.home / ".local" / "state";

  locations.temporary = absolute("TMPDIR").value_or(fs::path("/tmp"));
  return locations;
}

FileLocations FileLocations::fromProcessEnvironment() {
  return fromEnvironment(processEnvironment());
}

bool pathExistsOnDisk(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

}  // namespace meterwright
