#include <gtest/gtest.h>

#include "core/config/ConfigCoding.h"
#include "core/config/ConfigStore.h"
#include "core/files/AtomicFile.h"
#include "support/TemporaryFolder.h"

// Normalising and creating the file are also exercised through the executable (ExecutableTest).

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

bool nothingInstalled(const std::string&) {
  return false;
}

class ConfigStoreTest : public ::testing::Test {
 protected:
  ConfigLoadResult load() { return ConfigStore::load(locations, nothingInstalled); }
  fs::path file() const { return ConfigStore::url(locations); }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
};

TEST_F(ConfigStoreTest, MissingFileIsCreatedAndPartialOnesCompleted) {
  std::string defaults = *ConfigCoding::encode(Config::fallback(nothingInstalled));
  EXPECT_EQ(load(), (ConfigLoadResult{Config::fallback(nothingInstalled), std::nullopt}));
  EXPECT_EQ(readFile(file()), defaults);

  writeFile(file(), "{}");
  EXPECT_EQ(load().error, std::nullopt);
  EXPECT_EQ(readFile(file()), defaults);
  // The temporary file of the rewrite is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), fs::directory_iterator()),
            1);
}

TEST_F(ConfigStoreTest, UnusableOrUnreadableFilesAreLeftAloneAndDefaultsUsed) {
  // Which documents fail to decode is ConfigCodingTest's; here, one of each way a file fails.
  for (const std::string& text :
       {std::string(R"({"metric": "left"})"), std::string("not json at all"), std::string(""),
        std::string("\x00\x01\x02\xff", 4), std::string(FileReading::defaultLimit + 1, ' ')}) {
    SCOPED_TRACE(text.substr(0, 40));
    writeFile(file(), text);
    auto result = load();
    EXPECT_EQ(result.error, "config invalid \u2014 using defaults");
    EXPECT_EQ(result.config, Config::fallback(nothingInstalled));
    EXPECT_TRUE(readFile(file()) == text);
  }
  // A folder where the file should be cannot be read, whoever runs the test.
  fs::remove(file());
  fs::create_directories(file());
  auto result = load();
  EXPECT_EQ(result.error, "config unreadable \u2014 using defaults");
  EXPECT_EQ(result.config, Config::fallback(nothingInstalled));
  EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(ConfigStoreTest, SaveCreatesTheFolderAndReportsFailure) {
  Config config = Config::fallback(nothingInstalled);
  config.metric = Config::Metric::used;
  EXPECT_TRUE(ConfigStore::save(config, locations));
  EXPECT_EQ(load().config.metric, Config::Metric::used);

  fs::remove_all(locations.home / ".config");
  writeFile(locations.home / ".config", "a file where the folder should be");
  EXPECT_FALSE(ConfigStore::save(config, locations));
}

// A configuration kept in dotfiles, or kept private, stays so when it is normalised.
TEST_F(ConfigStoreTest, NormalisingKeepsALinkedFileLinkedAndTheFilesMode) {
  fs::path real = folder.path() / "dotfiles" / "config.json";
  writeFile(real, "{}");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories(file().parent_path());
  fs::create_symlink(real, file());
  load();
  EXPECT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(readFile(real), *ConfigCoding::encode(Config::fallback(nothingInstalled)));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace meterwright
