#include <gtest/gtest.h>

#include "desktop/app/TouchBarPreference.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::readFile;
using testing::writeFile;

TEST(TouchBarPreference, SetsTheKeyAndWritesSortedPrettyJson) {
  testing::TemporaryFolder folder;
  auto file = folder.path() / "config.json";
  writeFile(file, R"({"style":"bar","touchBar":true,"icon":"a/b"})");
  EXPECT_TRUE(TouchBarPreference::persist(file, false));
  EXPECT_EQ(readFile(file),
            "{\n  \"icon\": \"a\\/b\",\n  \"style\": \"bar\",\n  \"touchBar\": false\n}");
}

TEST(TouchBarPreference, LeavesAnUnusableFileUntouched) {
  struct Case {
    const char* name;
    std::optional<std::string> bytes;
  };
  for (const Case& c : {Case{"missing", std::nullopt}, Case{"garbage", "{ touchBar: yes"},
                        Case{"array", "[true]"}, Case{"string", "\"touchBar\""}}) {
    testing::TemporaryFolder folder;
    auto file = folder.path() / "config.json";
    if (c.bytes) writeFile(file, *c.bytes);
    EXPECT_FALSE(TouchBarPreference::persist(file, true)) << c.name;
    if (c.bytes) {
      EXPECT_EQ(readFile(file), *c.bytes) << c.name;
    } else {
      EXPECT_FALSE(std::filesystem::exists(file)) << c.name;
    }
  }
}

}  // namespace
}  // namespace meterwright
