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
  // Support.
  std::optional<std::filesystem::path> applicationSupport;
  // $XDG_STATE_HOME, else ~/.local/state; holds the user defaults.
  std::optional<std::filesystem::path> stateHome;
  std::filesystem::path temporary;
  // $XDG_RUNTIME_DIR: the user's private folder for the sockets and locks of running processes.
  std::optional<std::filesystem::path> runtime;

  // Stands in for the data or state folder when there is none: nothing can be made or found under
  // it, so reads find nothing and writes fail.
  static inline const std::filesystem::path nowhere{"/dev/null"};

  // ~/.config/meterwright/config.json
  std::filesystem::path configFile() const;
  // <state>/meterwright/defaults.json
  std::filesystem::path userDefaultsFile() const;
  // The providers' shared poll states: a "poll" folder beside the user defaults.
  std::filesystem::path pollStateFolder() const;
  // <support>/Meterwright
  std::filesystem::path supportFolder() const;
  // <runtime>/meterwright, else the state folder's meterwright folder (beside the user defaults)
  // when there is no runtime folder.
  std::filesystem::path runtimeFolder() const;

  bool operator==(const FileLocations&) const = default;

  // HOME (else the password database's home), XDG_DATA_HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR,
  // TMPDIR. XDG variables
  // that are not absolute paths are ignored, as the base-directory rules say. Without a home, the
  // data and state folders are kept in "meterwright-<uid>" in the temporary folder, a folder only
  // this user may enter (PrivateFolder); when that cannot be had there are none.
  static FileLocations fromEnvironment(const Environment& environment);
  // As above with the password database's answer given: the home folder, or nothing.
  static FileLocations fromEnvironment(
      const Environment& environment,
      const std::function<std::optional<std::string>()>& passwordHome);
  static FileLocations fromProcessEnvironment();
};

// Whether a path exists on disk; injectable where the answer decides a default.
using PathExists = std::function<bool(const std::string& path)>;
bool pathExistsOnDisk(const std::string& path);

}  // namespace meterwright
