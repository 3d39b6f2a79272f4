#include <gtest/gtest.h>

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

TEST_F(UserDefaultsTest, ADamagedFileReadsAsEmptyAndTheNextSetReplacesIt) {
  std::string deep = "{\"x\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
  for (const std::string& text : {std::string("{\"x\": tru"), std::string("[\"x\"]"), deep}) {
    testing::writeFile(file, text);
    EXPECT_FALSE(defaults.value("x")) << text.substr(0, 10);
  }
  ASSERT_TRUE(defaults.set("setupCompleted.v1", true));
  EXPECT_EQ(stored(), (json{{"setupCompleted.v1", true}}));
}

TEST_F(UserDefaultsTest, AFailedWriteReportsItAndKeepsTheFile) {
  testing::writeFile(temp.path() / "blocked", "a file where the folder should be");
  EXPECT_FALSE(UserDefaults(temp.path() / "blocked" / "defaults.json").set("k", true));
  defaults.set("setupCompleted.v1", true);
  EXPECT_FALSE(defaults.set("label", "\xFF"));
  EXPECT_EQ(stored(), (json{{"setupCompleted.v1", true}}));
}

}  // namespace
}  // namespace meterwright
