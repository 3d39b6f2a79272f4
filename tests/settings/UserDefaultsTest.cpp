#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/json/JsonText.h"
#include "core/settings/UserDefaults.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;
using Strings = std::vector<std::string>;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  TemporaryFolder temp;
  fs::path file = temp.locations().userDefaultsFile();
  UserDefaults defaults{file};
};

TEST_F(UserDefaultsTest, SetValueRemoveRoundTrip) {
  EXPECT_FALSE(defaults.value("setupCompleted.v1"));
  ASSERT_TRUE(defaults.set("setupCompleted.v1", true));
  ASSERT_TRUE(defaults.set("sync.identity.v1", {{"id", "6F1C"}, {"created", 1740821400}}));
  EXPECT_EQ(defaults.value("setupCompleted.v1"), json(true));
  EXPECT_EQ(defaults.value("sync.identity.v1"), (json{{"id", "6F1C"}, {"created", 1740821400}}));

  ASSERT_TRUE(defaults.remove("setupCompleted.v1"));
  EXPECT_FALSE(defaults.value("setupCompleted.v1"));
  EXPECT_TRUE(defaults.value("sync.identity.v1"));
}

TEST_F(UserDefaultsTest, SetReplacesAnEarlierValue) {
  defaults.set("AppleLanguages", json::array({"de"}));
  defaults.set("AppleLanguages", json::array({"en"}));
  EXPECT_EQ(defaults.stringArray("AppleLanguages"), Strings{"en"});
}

TEST_F(UserDefaultsTest, CreatesItsFolderAndAPrivateFile) {
  ASSERT_FALSE(fs::exists(file.parent_path()));
  ASSERT_TRUE(defaults.set("setupCompleted.v1", true));
  EXPECT_EQ(modeOf(file.parent_path()), 0700u);
  EXPECT_EQ(modeOf(file), 0600u);
  auto stored = JsonText::parse(readFile(file));
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, (json{{"setupCompleted.v1", true}}));
}

TEST_F(UserDefaultsTest, AnotherInstanceSeesChangesAtOnce) {
  UserDefaults other(file);
  defaults.set("claudeLongLivedTokenRejected.v1", true);
  EXPECT_TRUE(other.boolean("claudeLongLivedTokenRejected.v1"));
  other.remove("claudeLongLivedTokenRejected.v1");
  EXPECT_FALSE(defaults.value("claudeLongLivedTokenRejected.v1"));
}

TEST_F(UserDefaultsTest, ACorruptFileReadsAsEmptyAndTheNextSetReplacesIt) {
  writeFile(file, "{\"setupCompleted.v1\": tru");
  EXPECT_FALSE(defaults.value("setupCompleted.v1"));
  EXPECT_FALSE(defaults.boolean("setupCompleted.v1"));
  ASSERT_TRUE(defaults.set("AppleLanguages", json::array({"de"})));
  EXPECT_EQ(JsonText::parse(readFile(file)), (json{{"AppleLanguages", {"de"}}}));
}

TEST_F(UserDefaultsTest, AFileThatIsNotAnObjectReadsAsEmpty) {
  for (const char* text : {"[\"AppleLanguages\"]", "\"text\"", "", "\xFF\xFE"}) {
    writeFile(file, text);
    EXPECT_FALSE(defaults.value("AppleLanguages")) << text;
    EXPECT_FALSE(defaults.value("0")) << text;
  }
}

TEST_F(UserDefaultsTest, ADeeplyNestedFileReadsAsEmptyWithoutCrashing) {
  writeFile(file, "{\"x\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}");
  EXPECT_FALSE(defaults.value("x"));
  EXPECT_TRUE(defaults.set("setupCompleted.v1", true));
  EXPECT_TRUE(defaults.boolean("setupCompleted.v1"));
}

TEST_F(UserDefaultsTest, RemovingAMissingKeyWritesNothing) {
  EXPECT_TRUE(defaults.remove("AppleLanguages"));
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(UserDefaultsTest, AValueThatCannotBeWrittenFailsAndKeepsTheFile) {
  defaults.set("setupCompleted.v1", true);
  std::string before = readFile(file);
  EXPECT_FALSE(defaults.set("label", "\xFF"));
  EXPECT_EQ(readFile(file), before);
}

TEST_F(UserDefaultsTest, StringArrayAcceptsOnlyArraysOfStrings) {
  defaults.set("strings", json::array({"de", "en"}));
  defaults.set("empty", json::array());
  defaults.set("mixed", json::array({"de", 1}));
  defaults.set("text", "de");
  defaults.set("nested", json::array({json::array({"de"})}));
  EXPECT_EQ(defaults.stringArray("strings"), (Strings{"de", "en"}));
  EXPECT_EQ(defaults.stringArray("empty"), Strings{});
  EXPECT_FALSE(defaults.stringArray("mixed"));
  EXPECT_FALSE(defaults.stringArray("text"));
  EXPECT_FALSE(defaults.stringArray("nested"));
  EXPECT_FALSE(defaults.stringArray("missing"));
}

TEST_F(UserDefaultsTest, BooleanIsTrueOnlyForTrue) {
  defaults.set("yes", true);
  defaults.set("no", false);
  defaults.set("one", 1);
  defaults.set("text", "true");
  EXPECT_TRUE(defaults.boolean("yes"));
  EXPECT_FALSE(defaults.boolean("no"));
  EXPECT_FALSE(defaults.boolean("one"));
  EXPECT_FALSE(defaults.boolean("text"));
  EXPECT_FALSE(defaults.boolean("missing"));
}

TEST_F(UserDefaultsTest, SetFailsWhenTheFolderCannotBeMade) {
  writeFile(temp.path() / "blocked", "a file where the folder should be");
  UserDefaults blocked(temp.path() / "blocked" / "meterwright" / "defaults.json");
  EXPECT_FALSE(blocked.set("setupCompleted.v1", true));
  EXPECT_FALSE(blocked.value("setupCompleted.v1"));
}

}  // namespace
}  // namespace meterwright
