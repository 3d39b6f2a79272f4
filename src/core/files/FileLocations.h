#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/settings/Environment.h"

namespace meterwright {

// Where the program keeps its files. Built once from the environment at start and handed to every
// store, so tests point the whole program at a temporary folder.
struct FileLocations {
  std::filesystem::path home;
  // The user's data folder ($XDG_DATA_HOME, else ~/.local/share); plays the role of Application
  // Support. Absent when neither the variable nor a home folder is known.
  std::optional<std::filesystem::path> applicationSupport;
  // $XDG_STATE_HOME, else ~/.local/state; holds the user defaults.
  std::optional<std::filesystem::path> stateHome;
  std::filesystem::path temporary;

  // ~/.config/meterwright/config.json
  std::filesystem::path configFile() const;
  // <state>/meterwright/defaults.json, or one in the temporary folder without a state folder.
  std::filesystem::path userDefaultsFile() const;
  // The providers' shared poll states: a "poll" folder beside the user defaults.
  std::filesystem::path pollStateFolder() const;
  // <support>/Meterwright, or the temporary folder's Meterwright folder without a support folder.
  std::filesystem::path supportFolder() const;

  bool operator==(const FileLocations&) const = default;

  // HOME (else the password database), XDG_DATA_HOME, XDG_STATE_HOME, TMPDIR. XDG variables that
  // are not absolute paths are ignored, as the base-directory rules say.
  static FileLocations fromEnvironment(const Environment& environment);
  static FileLocations fromProcessEnvironment();
};

// Whether a path exists on disk; injectable where the answer decides a default.
using PathExists = std::function<bool(const std::string& path)>;
bool pathExistsOnDisk(const std::string& path);

}  // namespace meterwright
