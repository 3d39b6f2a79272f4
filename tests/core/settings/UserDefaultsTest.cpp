#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/files/FileLock.h"
#include "core/json/JsonText.h"
#include "core/settings/UserDefaults.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

class UserDefaultsTest : public ::testing::Test {
 protected:
  json stored() const { return JsonText::parse(testing::readFile(file)).value_or(nullptr); }

  testing::TemporaryFolder temp;
  fs::path file = temp.locations().userDefaultsFile();
  UserDefaults defaults{file};
};

TEST_F(UserDefaultsTest, RoundTripsTypedValuesThroughAPrivateFileOthersSeeAtOnce) {
  UserDefaults other(file);
  ASSERT_TRUE(defaults.set("setupCompleted.v1", 1));
  ASSERT_TRUE(defaults.set("AppleLanguages", json::array({"de", 1})));
  EXPECT_FALSE(other.boolean("setupCompleted.v1"));
  EXPECT_FALSE(other.stringArray("AppleLanguages"));
  ASSERT_TRUE(defaults.set("setupCompleted.v1", true));
  ASSERT_TRUE(defaults.set("AppleLanguages", json::array({"de"})));
  EXPECT_TRUE(other.boolean("setupCompleted.v1"));
  EXPECT_EQ(other.stringArray("AppleLanguages"), std::vector<std::string>{"de"});
  ASSERT_TRUE(other.remove("setupCompleted.v1"));
  EXPECT_FALSE(defaults.value("setupCompleted.v1"));
  EXPECT_EQ(stored(), (json{{"AppleLanguages", {"de"}}}));
  EXPECT_EQ(unsigned(fs::status(file.parent_path()).permissions()), 0700u);
  EXPECT_EQ(unsigned(fs::status(file).permissions()), 0600u);
}

TEST_F(UserDefaultsTest, ADamagedFileReadsAsEmptyAndIsReplacedAFailedWriteKeepsTheFile) {
  std::string deep = "{\"x\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
  for (const std::string& text : {std::string("{\"x\": tru"), std::string("[\"x\"]"), deep}) {
    testing::writeFile(file, text);
    EXPECT_FALSE(defaults.value("x")) << text.substr(0, 10);
  }
  ASSERT_TRUE(defaults.set("setupCompleted.v1", true));
  EXPECT_EQ(stored(), (json{{"setupCompleted.v1", true}}));
  testing::writeFile(temp.path() / "blocked", "a file where the folder should be");
  EXPECT_FALSE(UserDefaults(temp.path() / "blocked" / "defaults.json").set("k", true));
  defaults.set("setupCompleted.v1", true);
  EXPECT_FALSE(defaults.set("label", "\xFF"));
  EXPECT_EQ(stored(), (json{{"setupCompleted.v1", true}}));
}

ino_t inodeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Every start applies the launch language; a file rewritten each time is a file two processes
// can race on for nothing.
TEST_F(UserDefaultsTest, AValueThatDoesNotChangeLeavesTheFileAlone) {
  ASSERT_TRUE(defaults.set("AppleLanguages", json::array({"de"})));
  ino_t written = inodeOf(file);
  ASSERT_NE(written, 0u);
  EXPECT_TRUE(defaults.set("AppleLanguages", json::array({"de"})));
  EXPECT_TRUE(defaults.remove("setupCompleted.v1"));
  EXPECT_EQ(inodeOf(file), written);
  EXPECT_TRUE(defaults.set("AppleLanguages", json::array({"fr"})));
  EXPECT_NE(inodeOf(file), written);

  // Nothing to remove from a missing file: no file, no folder.
  UserDefaults elsewhere(temp.path() / "other" / "defaults.json");
  EXPECT_TRUE(elsewhere.remove("AppleLanguages"));
  EXPECT_FALSE(fs::exists(temp.path() / "other"));
}

TEST_F(UserDefaultsTest, ChangesFromManyWritersAtOnceKeepEveryKey) {
  constexpr int writers = 8, keysEach = 20;
  std::vector<std::thread> threads;
  for (int writer = 0; writer < writers; ++writer) {
    threads.emplace_back([&, writer] {
      UserDefaults own(file, std::chrono::seconds(30));
      for (int key = 0; key < keysEach; ++key) {
        own.set("w" + std::to_string(writer) + "." + std::to_string(key), key);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  json values = stored();
  ASSERT_TRUE(values.is_object());
  EXPECT_EQ(values.size(), std::size_t(writers * keysEach));
}

TEST_F(UserDefaultsTest, AChangeWaitsForTheLockAndGivesUpPastItsPatience) {
  ASSERT_TRUE(defaults.set("sync.identity.v1", "kept"));
  std::string before = testing::readFile(file);
  {
    auto held = FileLock::acquire(fs::path(file.string() + ".lock"), std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    EXPECT_FALSE(UserDefaults(file, std::chrono::milliseconds(0)).set("setupCompleted.v1", true));
    EXPECT_EQ(testing::readFile(file), before);
  }
  EXPECT_TRUE(UserDefaults(file, std::chrono::milliseconds(0)).set("setupCompleted.v1", true));
  EXPECT_EQ(stored(), (json{{"setupCompleted.v1", true}, {"sync.identity.v1", "kept"}}));
}

}  // namespace
}  // namespace meterwright
