#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using Value = std::optional<std::string>;

// HOME as given, every other variable `others`.
FileLocations locationsFor(Value home, Value others) {
  return FileLocations::fromEnvironment(
      [&](const char* name) { return std::string_view(name) == "HOME" ? home : others; });
}

TEST(FileLocations, UsesAbsoluteXdgFoldersAsGivenButKeepsTheConfigUnderHome) {
  auto locations = FileLocations::fromEnvironment(
      [](const char* name) { return Value("/" + std::string(name)); });
  EXPECT_EQ(locations, (FileLocations{"/HOME", "/XDG_DATA_HOME", "/XDG_STATE_HOME", "/TMPDIR",
                                      "/XDG_RUNTIME_DIR"}));
  EXPECT_EQ(locations.runtimeFolder(), "/XDG_RUNTIME_DIR/meterwright");
  EXPECT_EQ(locations.supportFolder(), "/XDG_DATA_HOME/Meterwright");
  EXPECT_EQ(locations.userDefaultsFile(), "/XDG_STATE_HOME/meterwright/defaults.json");
  EXPECT_EQ(locations.configFile(), "/HOME/.config/meterwright/config.json");
}

TEST(FileLocations, FallsBackToFoldersUnderHomeForMissingOrRelativeXdgFolders) {
  FileLocations expected{"/home/ada", "/home/ada/.local/share", "/home/ada/.local/state", "/tmp",
                         std::nullopt};
  for (Value others : {Value(), Value("relative/share"), Value(""), Value("~/data")}) {
    EXPECT_EQ(locationsFor("/home/ada", others), expected) << others.value_or("unset");
  }
  EXPECT_EQ(expected.runtimeFolder(), "/home/ada/.local/state/meterwright");
  const passwd* entry = ::getpwuid(::getuid());
  if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/') GTEST_SKIP() << "no home in passwd";
  EXPECT_EQ(locationsFor(std::nullopt, std::nullopt).home, entry->pw_dir);
  EXPECT_EQ(locationsFor("relative/home", std::nullopt).home, entry->pw_dir);
}

// No HOME, nothing in the password database, TMPDIR = `temporary`.
FileLocations homelessIn(const fs::path& temporary) {
  return FileLocations::fromEnvironment(
      [&](const char* name) {
        return std::string_view(name) == "TMPDIR" ? Value(temporary.string()) : Value();
      },
      [] { return Value(); });
}

TEST(FileLocations, WithoutAHomeKeepsItsFilesInAFolderOnlyTheUserMayEnter) {
  testing::TemporaryFolder temp;
  fs::path own = temp.path() / ("meterwright-" + std::to_string(::geteuid()));
  FileLocations locations = homelessIn(temp.path());
  EXPECT_EQ(locations.supportFolder(), own / "share" / "Meterwright");
  EXPECT_EQ(locations.userDefaultsFile(), own / "state" / "meterwright" / "defaults.json");
  EXPECT_EQ(unsigned(fs::symlink_status(own).permissions()), 0700u);
  EXPECT_EQ(homelessIn(temp.path()), locations);
}

// Someone else got there first: the folder is refused as it is, and the program keeps no files.
TEST(FileLocations, WithoutAHomeRefusesAFolderItCannotKeepPrivate) {
  struct Row {
    const char* what;
    std::function<void(const fs::path& own, const fs::path& elsewhere)> plant;
  };
  const std::vector<Row> rows{
      {"open to others",
       [](const fs::path& own, const fs::path&) {
         fs::create_directory(own);
         fs::permissions(own, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
       }},
      {"a link to a private folder",
       [](const fs::path& own, const fs::path& elsewhere) {
         fs::create_directory(elsewhere);
         fs::permissions(elsewhere, fs::perms::owner_all);
         fs::create_directory_symlink(elsewhere, own);
       }},
      {"a file", [](const fs::path& own, const fs::path&) { testing::writeFile(own, "x"); }},
      {"another user's", [](const fs::path& own, const fs::path&) {
         fs::create_directory(own);
         fs::permissions(own, fs::perms::owner_all);
         if (::geteuid() == 0) {
           ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
         }
       }}};
  for (const Row& row : rows) {
    if (std::string_view(row.what) == "another user's" && ::geteuid() != 0) continue;
    SCOPED_TRACE(row.what);
    testing::TemporaryFolder temp;
    fs::path own = temp.path() / ("meterwright-" + std::to_string(::geteuid()));
    row.plant(own, temp.path() / "elsewhere");
    auto before = fs::symlink_status(own).permissions();
    FileLocations locations = homelessIn(temp.path());
    EXPECT_FALSE(locations.applicationSupport);
    EXPECT_FALSE(locations.stateHome);
    EXPECT_EQ(locations.supportFolder(), FileLocations::nowhere / "Meterwright");
    std::error_code error;
    EXPECT_FALSE(fs::create_directories(locations.supportFolder(), error));
    EXPECT_EQ(fs::symlink_status(own).permissions(), before);
  }
}

}  // namespace
}  // namespace meterwright
