#include "core/config/ConfigStore.h"

#include "core/config/ConfigCoding.h"
#include "core/files/AtomicFile.h"
#include "core/text/LocalizedModule.h"

namespace meterwright::ConfigStore {

namespace {

std::string unreadableError() {
  return L("config.unreadable", "config unreadable \u2014 using defaults");
}

std::string invalidError() {
  return L("config.invalid", "config invalid \u2014 using defaults");
}

}  // namespace

std::filesystem::path url(const FileLocations& locations) {
  return locations.configFile();
}

ConfigLoadResult load(const FileLocations& locations, const PathExists& exists) {
  auto path = url(locations);
  auto file = FileReading::read(path);
  switch (file.outcome) {
    case FileReading::Outcome::missing: {
      Config defaults = Config::fallback(exists);
      save(defaults, locations);
      return {defaults, std::nullopt};
    }
    case FileReading::Outcome::unreadable:
      return {Config::fallback(exists), unreadableError()};
    case FileReading::Outcome::tooLarge:
      // Far beyond any configuration a person writes; parsing it would only cost memory.
      return {Config::fallback(exists), invalidError()};
    case FileReading::Outcome::read:
      break;
  }

  auto config = ConfigCoding::decodeConfig(file.bytes, exists);
  if (!config) return {Config::fallback(exists), invalidError()};

  // Show the effective settings in the file; a failed rewrite changes nothing that was read.
  auto normal = ConfigCoding::encode(*config);
  if (normal && *normal != file.bytes) AtomicFile::write(path, *normal);
  return {std::move(*config), std::nullopt};
}

bool save(const Config& config, const FileLocations& locations) {
  auto text = ConfigCoding::encode(config);
  if (!text) return false;
  auto path = url(locations);
  // A failure here shows up as a failed write below.
  AtomicFile::createFolders(path.parent_path());
  return AtomicFile::write(path, *text);
}

}  // namespace meterwright::ConfigStore
