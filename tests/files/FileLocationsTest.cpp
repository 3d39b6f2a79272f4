#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "core/files/FileLocations.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using Variables = std::map<std::string, std::string>;

FileLocations locationsFor(const Variables& variables) {
  return FileLocations::fromEnvironment([&](const char* name) -> std::optional<std::string> {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  });
}

TEST(FileLocations, UsesAbsoluteXdgFoldersAsGiven) {
  auto locations = locationsFor({{"HOME", "/home/ada"},
                                 {"XDG_DATA_HOME", "/data"},
                                 {"XDG_STATE_HOME", "/state"},
                                 {"TMPDIR", "/scratch"}});
  EXPECT_EQ(locations.home, fs::path("/home/ada"));
  EXPECT_EQ(locations.applicationSupport, fs::path("/data"));
  EXPECT_EQ(locations.stateHome, fs::path("/state"));
  EXPECT_EQ(locations.temporary, fs::path("/scratch"));
  EXPECT_EQ(locations.supportFolder(), fs::path("/data/Meterwright"));
  EXPECT_EQ(locations.userDefaultsFile(), fs::path("/state/meterwright/defaults.json"));
}

TEST(FileLocations, DefaultsToFoldersUnderHome) {
  auto locations = locationsFor({{"HOME", "/home/ada"}});
  EXPECT_EQ(locations.applicationSupport, fs::path("/home/ada/.local/share"));
  EXPECT_EQ(locations.stateHome, fs::path("/home/ada/.local/state"));
  EXPECT_EQ(locations.temporary, fs::path("/tmp"));
  EXPECT_EQ(locations.supportFolder(), fs::path("/home/ada/.local/share/Meterwright"));
  EXPECT_EQ(locations.userDefaultsFile(),
            fs::path("/home/ada/.local/state/meterwright/defaults.json"));
}

TEST(FileLocations, IgnoresXdgFoldersThatAreNotAbsolute) {
  for (const char* value : {"relative/share", "", "~/data", "./data"}) {
    auto locations = locationsFor({{"HOME", "/home/ada"},
                                   {"XDG_DATA_HOME", value},
                                   {"XDG_STATE_HOME", value},
                                   {"TMPDIR", value}});
    EXPECT_EQ(locations.applicationSupport, fs::path("/home/ada/.local/share")) << value;
    EXPECT_EQ(locations.stateHome, fs::path("/home/ada/.local/state")) << value;
    EXPECT_EQ(locations.temporary, fs::path("/tmp")) << value;
  }
}

TEST(FileLocations, ConfigFileStaysUnderHomeWhateverXdgConfigHomeSays) {
  auto locations = locationsFor({{"HOME", "/home/ada"}, {"XDG_CONFIG_HOME", "/elsewhere/config"}});
  EXPECT_EQ(locations.configFile(), fs::path("/home/ada/.config/meterwright/config.json"));
}

TEST(FileLocations, FallsBackToThePasswordDatabaseWithoutAnAbsoluteHome) {
  const passwd* entry = ::getpwuid(::getuid());
  if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/') {
    GTEST_SKIP() << "this user has no home folder in the password database";
  }
  for (const Variables& variables : {Variables{}, Variables{{"HOME", "relative/home"}}}) {
    auto locations = locationsFor(variables);
    EXPECT_EQ(locations.home, fs::path(entry->pw_dir));
    EXPECT_EQ(locations.stateHome, fs::path(entry->pw_dir) / ".local" / "state");
  }
}

TEST(FileLocations, WithoutDataOrStateFoldersUsesTheTemporaryFolder) {
  FileLocations locations;
  locations.home = "/";
  locations.temporary = "/scratch";
  EXPECT_EQ(locations.supportFolder(), fs::path("/scratch/Meterwright"));
  EXPECT_EQ(locations.userDefaultsFile(), fs::path("/scratch/meterwright/defaults.json"));
}

TEST(FileLocations, FromProcessEnvironmentReadsTheRunningProcessVariables) {
  // The test main points HOME and the XDG folders into a temporary folder.
  auto locations = FileLocations::fromProcessEnvironment();
  EXPECT_EQ(locations.home, fs::path(std::getenv("HOME")));
  EXPECT_EQ(locations.applicationSupport, fs::path(std::getenv("XDG_DATA_HOME")));
  EXPECT_EQ(locations.stateHome, fs::path(std::getenv("XDG_STATE_HOME")));
}

}  // namespace
}  // namespace meterwright
