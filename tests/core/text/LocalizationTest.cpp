#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/text/Localization.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using Languages = std::vector<std::string>;
using Variables = std::map<std::string, std::string>;

class LocalizationTest : public ::testing::Test {
 protected:
  Languages preferred(Variables variables) const {
    return Localization::preferredLanguages(defaults, [&](const char* name) {
      return variables.contains(name) ? std::optional(variables[name]) : std::nullopt;
    });
  }

  testing::TemporaryFolder temp;
  UserDefaults defaults{temp.locations().userDefaultsFile()};
};

TEST(Localization, ListsTheCoreLanguagesSortedAndNamesLanguagesInThemselves) {
  EXPECT_EQ(Localization::available(), (Languages{"de", "en"}));
  EXPECT_EQ(Localization::endonym("de"), "Deutsch");
  EXPECT_EQ(Localization::endonym("fr"), "Français");
  EXPECT_EQ(Localization::endonym("xx-US"), "xx-US");
}

TEST_F(LocalizationTest, ApplyStoresOnlyAnAvailableLanguageAndKeepsOtherDefaults) {
  defaults.set("setupCompleted.v1", true);
  for (const char* other : {"", "xx", "fr", "DE"}) {
    Localization::apply("de", defaults);
    EXPECT_EQ(defaults.stringArray(Localization::languagesKey), Languages{"de"});
    Localization::apply(other, defaults);
    EXPECT_FALSE(defaults.value("AppleLanguages")) << other;
  }
  EXPECT_TRUE(defaults.boolean("setupCompleted.v1"));
}

TEST_F(LocalizationTest, PreferredLanguagesAreTheAppliedOneElseLanguageThenTheFirstLocaleVariable) {
  const std::pair<Variables, Languages> cases[] = {
      {{{"LANGUAGE", ":de::fr:"}, {"LANG", "en_US.UTF-8"}}, {"de", "fr", "en_US.UTF-8"}},
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "pt_BR"}, {"LANG", "de_DE"}}, {"fr_FR.UTF-8"}},
      {{{"LC_MESSAGES", "pt_BR.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, {"pt_BR.UTF-8"}},
      {{{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}}, {"de_DE.UTF-8"}},
      {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {"C"}},
      // LANGUAGE counts only outside the C locale, as for gettext.
      {{{"LANGUAGE", "de"}, {"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {"C"}},
      {{{"LANGUAGE", "de"}, {"LANG", "POSIX"}}, {"POSIX"}},
      {{{"LANGUAGE", "de"}}, {}},
      {{{"LANGUAGE", "de"}, {"LC_ALL", "C.UTF-8"}}, {"de", "C.UTF-8"}},
      {{}, {}}};
  // An empty or damaged choice is no choice.
  for (nlohmann::json damaged : {nlohmann::json::array(), nlohmann::json("de")}) {
    defaults.set("AppleLanguages", damaged);
    for (const auto& [variables, expected] : cases) EXPECT_EQ(preferred(variables), expected);
  }
  Localization::apply("de", defaults);
  EXPECT_EQ(preferred({{"LANGUAGE", "fr"}, {"LC_ALL", "en_US.UTF-8"}}), Languages{"de"});
}

}  // namespace
}  // namespace meterwright
