#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"

namespace meterwright {

// What loading the configuration gave: the configuration in force and, when the file could not be
// used, the one line that says so.
struct ConfigLoadResult {
  Config config;
  std::optional<std::string> error;

  bool operator==(const ConfigLoadResult&) const = default;
};

// The configuration file. Reading never fails and never overwrites a file it could not use, so a
// user's hand-edited text is not lost to a typo.
namespace ConfigStore {

// ~/.config/meterwright/config.json
std::filesystem::path url(const FileLocations& locations);

// A missing file is created with the defaults; an unreadable or invalid one is left alone and the
// defaults are used with an error line; a good one is rewritten in normal form when its bytes
// differ from it (defaults filled in, migrations and floors applied).
ConfigLoadResult load(const FileLocations& locations, const PathExists& exists = pathExistsOnDisk);

// True when the file was written.
bool save(const Config& config, const FileLocations& locations);

}  // namespace ConfigStore

}  // namespace meterwright
