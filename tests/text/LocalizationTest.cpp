#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/text/Localization.h"
#include "core/text/StringCatalog.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using Languages = std::vector<std::string>;
using Variables = std::map<std::string, std::string>;
using testing::TemporaryFolder;

Localization::Environment environmentOf(Variables variables) {
  return [variables = std::move(variables)](const char* name) -> std::optional<std::string> {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  };
}

class LocalizationTest : public ::testing::Test {
 protected:
  TemporaryFolder temp;
  UserDefaults defaults{temp.locations().userDefaultsFile()};
};

TEST(Localization, AvailableListsTheCoreTablesSorted) {
  EXPECT_EQ(Localization::available(), (Languages{"de", "en"}));
}

TEST(Localization, EndonymNamesALanguageInItselfWithACapital) {
  EXPECT_EQ(Localization::endonym("de"), "Deutsch");
  EXPECT_EQ(Localization::endonym("en"), "English");
  EXPECT_EQ(Localization::endonym("fr"), "Français");
}

TEST(Localization, EndonymIsTheCodeWhenNoNameIsKnown) {
  EXPECT_EQ(Localization::endonym("xx"), "xx");
  EXPECT_EQ(Localization::endonym("xx-US"), "xx-US");
  EXPECT_EQ(Localization::endonym(""), "");
}

TEST_F(LocalizationTest, ApplyStoresAnAvailableLanguageAsTheOnlyAppleLanguage) {
  Localization::apply("de", defaults);
  EXPECT_EQ(defaults.stringArray(Localization::languagesKey), Languages{"de"});
  Localization::apply("en", defaults);
  EXPECT_EQ(defaults.stringArray("AppleLanguages"), Languages{"en"});
}

TEST_F(LocalizationTest, ApplyRemovesTheChoiceForTheSystemLanguageOrAnUnknownOne) {
  for (const char* language : {"", "xx", "fr", "DE"}) {
    Localization::apply("de", defaults);
    Localization::apply(language, defaults);
    EXPECT_FALSE(defaults.value("AppleLanguages")) << language;
  }
}

TEST_F(LocalizationTest, ApplyKeepsOtherDefaults) {
  defaults.set("setupCompleted.v1", true);
  Localization::apply("de", defaults);
  Localization::apply("", defaults);
  EXPECT_TRUE(defaults.boolean("setupCompleted.v1"));
}

TEST_F(LocalizationTest, PreferredLanguagesAreTheAppliedLanguageFirstOfAll) {
  Localization::apply("de", defaults);
  auto languages = Localization::preferredLanguages(
      defaults, environmentOf({{"LANGUAGE", "fr"}, {"LC_ALL", "en_US.UTF-8"}}));
  EXPECT_EQ(languages, Languages{"de"});
}

TEST_F(LocalizationTest, PreferredLanguagesIgnoreAnEmptyOrDamagedAppleLanguages) {
  auto environment = environmentOf({{"LANG", "de_DE.UTF-8"}});
  defaults.set("AppleLanguages", nlohmann::json::array());
  EXPECT_EQ(Localization::preferredLanguages(defaults, environment), Languages{"de_DE.UTF-8"});
  defaults.set("AppleLanguages", "fr");
  EXPECT_EQ(Localization::preferredLanguages(defaults, environment), Languages{"de_DE.UTF-8"});
}

TEST_F(LocalizationTest, PreferredLanguagesListLanguageThenTheLocale) {
  auto languages = Localization::preferredLanguages(
      defaults, environmentOf({{"LANGUAGE", "de:fr"}, {"LANG", "en_US.UTF-8"}}));
  EXPECT_EQ(languages, (Languages{"de", "fr", "en_US.UTF-8"}));
}

TEST_F(LocalizationTest, PreferredLanguagesSkipEmptyPartsOfLanguage) {
  auto languages =
      Localization::preferredLanguages(defaults, environmentOf({{"LANGUAGE", ":de::fr:"}}));
  EXPECT_EQ(languages, (Languages{"de", "fr"}));
}

TEST_F(LocalizationTest, PreferredLanguagesTakeLcAllOverLcMessagesOverLang) {
  EXPECT_EQ(
      Localization::preferredLanguages(defaults, environmentOf({{"LC_ALL", "fr_FR.UTF-8"},
                                                                {"LC_MESSAGES", "pt_BR.UTF-8"},
                                                                {"LANG", "de_DE.UTF-8"}})),
      Languages{"fr_FR.UTF-8"});
  EXPECT_EQ(Localization::preferredLanguages(
                defaults, environmentOf({{"LC_MESSAGES", "pt_BR.UTF-8"}, {"LANG", "de_DE.UTF-8"}})),
            Languages{"pt_BR.UTF-8"});
  EXPECT_EQ(Localization::preferredLanguages(
                defaults, environmentOf({{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}})),
            Languages{"de_DE.UTF-8"});
}

TEST_F(LocalizationTest, PreferredLanguagesAreEmptyWithoutAnySetting) {
  EXPECT_TRUE(Localization::preferredLanguages(defaults, environmentOf({})).empty());
}

TEST_F(LocalizationTest, TheCLocaleOverridingLangLeadsToEnglish) {
  auto languages = Localization::preferredLanguages(
      defaults, environmentOf({{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}));
  EXPECT_EQ(StringCatalog::bestLanguage(coreStringBundle(), languages), "en");
}

TEST_F(LocalizationTest, TheAppliedLanguageChoosesTheCoreTable) {
  auto environment = environmentOf({{"LANG", "en_US.UTF-8"}});
  Localization::apply("de", defaults);
  StringCatalog german(coreStringBundle(), Localization::preferredLanguages(defaults, environment));
  EXPECT_EQ(german.text("diagnose.languageName", "English"), "Deutsch");
  Localization::apply("", defaults);
  StringCatalog system(coreStringBundle(), Localization::preferredLanguages(defaults, environment));
  EXPECT_EQ(system.text("diagnose.languageName", "English"), "English");
}

}  // namespace
}  // namespace meterwright
