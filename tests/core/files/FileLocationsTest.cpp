#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "core/files/FileLocations.h"

namespace meterwright {
namespace {

using Value = std::optional<std::string>;

// HOME as given, every other variable `others`.
FileLocations locationsFor(Value home, Value others) {
  return FileLocations::fromEnvironment(
      [&](const char* name) { return std::string_view(name) == "HOME" ? home : others; });
}

TEST(FileLocations, UsesAbsoluteXdgFoldersAsGivenButKeepsTheConfigUnderHome) {
  auto locations = FileLocations::fromEnvironment(
      [](const char* name) { return Value("/" + std::string(name)); });
  EXPECT_EQ(locations, (FileLocations{"/HOME", "/XDG_DATA_HOME", "/XDG_STATE_HOME", "/TMPDIR"}));
  EXPECT_EQ(locations.supportFolder(), "/XDG_DATA_HOME/Meterwright");
  EXPECT_EQ(locations.userDefaultsFile(), "/XDG_STATE_HOME/meterwright/defaults.json");
  EXPECT_EQ(locations.configFile(), "/HOME/.config/meterwright/config.json");
}

TEST(FileLocations, FallsBackToFoldersUnderHomeForMissingOrRelativeXdgFolders) {
  FileLocations expected{"/home/ada", "/home/ada/.local/share", "/home/ada/.local/state", "/tmp"};
  for (Value others : {Value(), Value("relative/share"), Value(""), Value("~/data")}) {
    EXPECT_EQ(locationsFor("/home/ada", others), expected) << others.value_or("unset");
  }
}

TEST(FileLocations, FallsBackToThePasswordDatabaseWithoutAnAbsoluteHome) {
  const passwd* entry = ::getpwuid(::getuid());
  if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/') GTEST_SKIP() << "no home in passwd";
  EXPECT_EQ(locationsFor(std::nullopt, std::nullopt).home, entry->pw_dir);
  EXPECT_EQ(locationsFor("relative/home", std::nullopt).home, entry->pw_dir);
}

TEST(FileLocations, WithoutDataOrStateFoldersUsesTheTemporaryFolder) {
  FileLocations locations{"/", std::nullopt, std::nullopt, "/scratch"};
  EXPECT_EQ(locations.supportFolder(), "/scratch/Meterwright");
  EXPECT_EQ(locations.userDefaultsFile(), "/scratch/meterwright/defaults.json");
}

}  // namespace
}  // namespace meterwright
