#include "core/files/FileLocations.h"

#include <pwd.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "core/files/PrivateFolder.h"

namespace meterwright {

namespace fs = std::filesystem;

fs::path FileLocations::configFile() const {
  return home / ".config" / "meterwright" / "config.json";
}

fs::path FileLocations::userDefaultsFile() const {
  return stateHome.value_or(nowhere) / "meterwright" / "defaults.json";
}

fs::path FileLocations::pollStateFolder() const {
  return userDefaultsFile().parent_path() / "poll";
}

fs::path FileLocations::supportFolder() const {
  return applicationSupport.value_or(nowhere) / "Meterwright";
}

fs::path FileLocations::runtimeFolder() const {
  if (runtime) return *runtime / "meterwright";
  return userDefaultsFile().parent_path();
}

FileLocations FileLocations::fromEnvironment(const Environment& environment) {
  return fromEnvironment(environment, []() -> std::optional<std::string> {
    const passwd* entry = ::getpwuid(::getuid());
    if (!entry || !entry->pw_dir) return std::nullopt;
    return std::string(entry->pw_dir);
  });
}

FileLocations FileLocations::fromEnvironment(
    const Environment& environment,
    const std::function<std::optional<std::string>()>& passwordHome) {
  FileLocations locations;
  auto absolute = [&](const char* name) -> std::optional<fs::path> {
    auto value = environment(name);
    if (!value || value->empty() || (*value)[0] != '/') return std::nullopt;
    return fs::path(*value);
  };

  if (auto home = absolute("HOME")) {
    locations.home = *home;
  } else if (auto entry = passwordHome(); entry && !entry->empty()) {
    locations.home = *entry;
  }
  bool hasHome = !locations.home.empty();
  if (locations.home.empty()) locations.home = "/";

  locations.applicationSupport = absolute("XDG_DATA_HOME");
  if (!locations.applicationSupport && hasHome) {
    locations.applicationSupport = locations.home / ".local" / "share";
  }
  locations.stateHome = absolute("XDG_STATE_HOME");
  if (!locations.stateHome && hasHome) locations.stateHome = locations.home / ".local" / "state";

  locations.runtime = absolute("XDG_RUNTIME_DIR");
  locations.temporary = absolute("TMPDIR").value_or(fs::path("/tmp"));
  if (!locations.applicationSupport || !locations.stateHome) {
    // Never the temporary folder itself: anyone may write there.
    fs::path own = locations.temporary / ("meterwright-" + std::to_string(::geteuid()));
    if (PrivateFolder::prepare(own)) {
      if (!locations.applicationSupport) locations.applicationSupport = own / "share";
      if (!locations.stateHome) locations.stateHome = own / "state";
    }
  }
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
