#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/config/ConfigCoding.h"
#include "core/config/ConfigStore.h"
#include "core/files/AtomicFile.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

bool nothingInstalled(const std::string&) {
  return false;
}

class ConfigStoreTest : public ::testing::Test {
 protected:
  ConfigLoadResult load() { return ConfigStore::load(locations, nothingInstalled); }
  fs::path file() const { return ConfigStore::url(locations); }

  // Backdates the file so that "not rewritten" is visible without waiting for the clock.
  void backdate() {
    fs::last_write_time(file(), fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  bool wasRewritten() const {
    return fs::last_write_time(file()) > fs::file_time_type::clock::now() - std::chrono::hours(1);
  }

  TemporaryFolder folder;
  FileLocations locations = folder.locations();
  std::string defaultText = *ConfigCoding::encode(Config::fallback(nothingInstalled));
};

TEST_F(ConfigStoreTest, UrlIsInTheHomeConfigFolder) {
  EXPECT_EQ(file(), locations.home / ".config" / "meterwright" / "config.json");
}

TEST_F(ConfigStoreTest, MissingFileIsCreatedWithTheDefaults) {
  auto result = load();
  EXPECT_EQ(result.error, std::nullopt);
  EXPECT_EQ(result.config, Config::fallback(nothingInstalled));
  EXPECT_EQ(readFile(file()), defaultText);
}

TEST_F(ConfigStoreTest, NormalFormIsNeverRewritten) {
  load();
  backdate();
  auto result = load();
  EXPECT_EQ(result.error, std::nullopt);
  EXPECT_FALSE(wasRewritten());
  EXPECT_EQ(readFile(file()), defaultText);
}

TEST_F(ConfigStoreTest, PartialFilesAreRewrittenInNormalForm) {
  writeFile(file(), "{}");
  EXPECT_EQ(load().config, Config::fallback(nothingInstalled));
  EXPECT_EQ(readFile(file()), defaultText);

  writeFile(file(), R"({"refreshSeconds": 5, "obsoleteKey": true})");
  auto result = load();
  EXPECT_EQ(result.config.refreshSeconds, 15);
  std::string text = readFile(file());
  EXPECT_NE(text.find("\"refreshSeconds\": 15,"), std::string::npos);
  EXPECT_EQ(text.find("obsoleteKey"), std::string::npos);

  writeFile(file(), R"({"providers": []})");
  EXPECT_TRUE(load().config.providers.empty());
  EXPECT_NE(readFile(file()).find("\"providers\": [],"), std::string::npos);
}

TEST_F(ConfigStoreTest, UnusableFilesAreLeftByteIdenticalAndDefaultsUsed) {
  std::string big(3 * 1024 * 1024, '\x01');
  for (const std::string& text : {
           std::string(R"({"metric": "left"})"),
           std::string(R"({"barSegments": "6"})"),
           std::string(R"({"providers": [{"label": "x"}]})"),
           std::string("not json at all"),
           std::string(""),
           std::string("\x00\x01\x02\xff", 4),
           std::string("{\"separator\": \"\xed\xa0\x80\"}"),
           std::string(5000, '[') + std::string(5000, ']'),
           std::string(R"({"refreshSeconds": 1e400})"),
           std::string(R"({"refreshSeconds": NaN})"),
           big,
       }) {
    writeFile(file(), text);
    backdate();
    auto result = load();
    EXPECT_EQ(result.error, "config invalid \u2014 using defaults") << text.substr(0, 40);
    EXPECT_EQ(result.config, Config::fallback(nothingInstalled));
    EXPECT_EQ(readFile(file()), text) << text.substr(0, 40);
    EXPECT_FALSE(wasRewritten());
  }
}

TEST_F(ConfigStoreTest, OversizedFileIsNotReadIntoMemory) {
  std::string huge(FileReading::defaultLimit + 1, ' ');
  writeFile(file(), huge);
  auto result = load();
  EXPECT_EQ(result.error, "config invalid \u2014 using defaults");
  EXPECT_EQ(fs::file_size(file()), huge.size());
}

TEST_F(ConfigStoreTest, UnreadableFileGivesItsOwnError) {
  // A folder where the file should be cannot be read, whoever runs the test.
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

  // A file where the folder should be: the write cannot happen.
  TemporaryFolder other;
  FileLocations blocked = other.locations();
  writeFile(blocked.home / ".config", "in the way");
  EXPECT_FALSE(ConfigStore::save(config, blocked));
}

TEST_F(ConfigStoreTest, NormalisingKeepsALinkedFileLinked) {
  fs::path real = folder.path() / "dotfiles" / "config.json";
  writeFile(real, "{}");
  fs::create_directories(file().parent_path());
  fs::create_symlink(real, file());
  load();
  EXPECT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(readFile(real), defaultText);
}

TEST_F(ConfigStoreTest, NoTemporaryFilesAreLeftBehind) {
  writeFile(file(), "{}");
  load();
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(file().parent_path())) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace meterwright
