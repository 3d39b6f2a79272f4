#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "core/json/JsonText.h"
#include "core/text/LocalizedModule.h"
#include "core/text/StringCatalog.h"
#include "desktop/text/DesktopText.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using Languages = std::vector<std::string>;

StringBundle bundleOf(std::vector<std::pair<std::string, std::string_view>> tables) {
  return StringBundle{"test", std::move(tables)};
}

const StringBundle& sampleBundle() {
  static const StringBundle bundle = bundleOf({
      {"de", R"({"greeting": "Hallo", "count": "%d übrig", "notText": 5})"},
      {"en", "{}"},
      {"pt", R"({"greeting": "Olá"})"},
  });
  return bundle;
}

std::string bestIn(const StringBundle& bundle, const Languages& preferred) {
  return StringCatalog::bestLanguage(bundle, preferred);
}

// Puts back the core module's language choice however a test ends.
class ScopedCoreLanguage {
 public:
  explicit ScopedCoreLanguage(Languages languages) { coreText().choose(std::move(languages)); }
  ~ScopedCoreLanguage() { coreText().choose(std::nullopt); }
};

// Sets an environment variable for one test and restores the previous value.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* previous = std::getenv(name)) previous_ = previous;
    ::setenv(name, value, 1);
  }
  ~ScopedVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(StringCatalog, BestLanguageStripsEncodingAndRegionFromPosixLocales) {
  EXPECT_EQ(bestIn(sampleBundle(), {"de_DE.UTF-8"}), "de");
  EXPECT_EQ(bestIn(sampleBundle(), {"de_DE.UTF-8@euro"}), "de");
  EXPECT_EQ(bestIn(sampleBundle(), {"de_DE@euro"}), "de");
  EXPECT_EQ(bestIn(sampleBundle(), {"de"}), "de");
}

TEST(StringCatalog, BestLanguageFallsBackFromARegionToItsLanguage) {
  EXPECT_EQ(bestIn(sampleBundle(), {"de-AT"}), "de");
  EXPECT_EQ(bestIn(sampleBundle(), {"pt-BR"}), "pt");
  EXPECT_EQ(bestIn(sampleBundle(), {"pt_BR.UTF-8"}), "pt");
}

TEST(StringCatalog, BestLanguagePrefersAnExactRegionalTable) {
  auto bundle = bundleOf({{"en", "{}"}, {"pt", "{}"}, {"pt-BR", "{}"}});
  EXPECT_EQ(bestIn(bundle, {"pt-BR"}), "pt-BR");
  EXPECT_EQ(bestIn(bundle, {"pt_BR.UTF-8"}), "pt-BR");
  EXPECT_EQ(bestIn(bundle, {"pt-PT"}), "pt");
}

TEST(StringCatalog, BestLanguageUsesAPortugueseTableOnlyWhenThereIsOne) {
  auto bundle = bundleOf({{"de", "{}"}, {"en", "{}"}});
  EXPECT_EQ(bestIn(bundle, {"pt-BR"}), "en");
  EXPECT_EQ(bestIn(bundle, {"pt-BR", "de"}), "de");
}

TEST(StringCatalog, BestLanguageIgnoresCaseOfCodes) {
  EXPECT_EQ(bestIn(sampleBundle(), {"DE-de"}), "de");
  EXPECT_EQ(bestIn(bundleOf({{"pt-BR", "{}"}}), {"pt-br"}), "pt-BR");
}

TEST(StringCatalog, BestLanguageTakesTheFirstPreferredLanguageItCanServe) {
  EXPECT_EQ(bestIn(sampleBundle(), {"fr", "pt", "de"}), "pt");
  EXPECT_EQ(bestIn(sampleBundle(), {"en_GB.UTF-8", "de"}), "en");
}

TEST(StringCatalog, BestLanguageIsEnglishForTheCLocaleUnknownCodesOrNothing) {
  EXPECT_EQ(bestIn(sampleBundle(), {"C"}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {"C.UTF-8"}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {"POSIX"}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {"xx_YY"}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {""}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {}), "en");
  EXPECT_EQ(bestIn(sampleBundle(), {"C", "de"}), "de");
}

TEST(StringCatalog, TranslatesKeysOfTheChosenTable) {
  StringCatalog catalog(sampleBundle(), {"de_DE.UTF-8"});
  EXPECT_EQ(catalog.language(), "de");
  EXPECT_EQ(catalog.text("greeting", "Hello"), "Hallo");
  EXPECT_EQ(catalog.text("count", "%d left"), "%d übrig");
}

TEST(StringCatalog, AKeyMissingFromTheTableGivesTheEnglishDefaultNeverTheKey) {
  StringCatalog catalog(sampleBundle(), {"de"});
  EXPECT_EQ(catalog.text("menu.refresh.tooSoon", "Too soon"), "Too soon");
  EXPECT_EQ(catalog.text("menu.refresh.tooSoon", ""), "");
}

TEST(StringCatalog, AnEntryThatIsNotTextGivesTheEnglishDefault) {
  StringCatalog catalog(sampleBundle(), {"de"});
  EXPECT_EQ(catalog.text("notText", "Five"), "Five");
}

TEST(StringCatalog, AnEmptyEnglishTableStillGivesEveryDefault) {
  StringCatalog catalog(sampleBundle(), {"en_US.UTF-8"});
  EXPECT_EQ(catalog.language(), "en");
  EXPECT_EQ(catalog.text("greeting", "Hello"), "Hello");
}

TEST(StringCatalog, ABundleWithoutAnyEnglishTableGivesTheDefaults) {
  StringCatalog catalog(bundleOf({{"de", R"({"greeting": "Hallo"})"}}), {"fr"});
  EXPECT_EQ(catalog.language(), "en");
  EXPECT_EQ(catalog.text("greeting", "Hello"), "Hello");
}

TEST(StringCatalog, ABrokenTableGivesTheDefaults) {
  for (std::string_view table : {std::string_view(R"({"greeting": "Hallo")"),
                                 std::string_view(R"(["Hallo"])"), std::string_view("")}) {
    StringCatalog catalog(bundleOf({{"de", table}}), {"de"});
    EXPECT_EQ(catalog.text("greeting", "Hello"), "Hello") << table;
  }
}

TEST(StringCatalog, EmbeddedCoreBundleHasGermanAndEnglish) {
  const StringBundle& core = coreStringBundle();
  EXPECT_EQ(core.module, "core");
  std::vector<std::string> languages;
  for (const auto& [language, table] : core.tables) languages.push_back(language);
  EXPECT_EQ(languages, (Languages{"de", "en"}));
  StringCatalog german(core, {"de"});
  EXPECT_EQ(german.text("diagnose.languageName", "English"), "Deutsch");
}

TEST(StringCatalog, EmbeddedTablesHoldTheResourceFilesByteForByte) {
  // The generator turns each resources/strings/<module>/<language>.json into a byte array.
  fs::path resources =
      fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources" / "strings";
  if (!fs::is_directory(resources)) GTEST_SKIP() << "resource folder not beside the sources";
  for (const StringBundle* bundle : {&coreStringBundle(), &desktopStringBundle()}) {
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(resources / bundle->module)) {
      if (entry.path().extension() == ".json") ++files;
    }
    EXPECT_EQ(bundle->tables.size(), files) << bundle->module;
    for (const auto& [language, table] : bundle->tables) {
      fs::path file = resources / bundle->module / (language + ".json");
      EXPECT_TRUE(std::string(table) == testing::readFile(file)) << file;
    }
  }
}

TEST(StringCatalog, EveryEmbeddedTableIsAnObjectOfTexts) {
  for (const StringBundle* bundle : {&coreStringBundle(), &desktopStringBundle()}) {
    for (const auto& [language, table] : bundle->tables) {
      auto parsed = JsonText::parse(table);
      ASSERT_TRUE(parsed && parsed->is_object()) << bundle->module << "/" << language;
      for (const auto& [key, value] : parsed->items()) {
        EXPECT_TRUE(value.is_string()) << bundle->module << "/" << language << ": " << key;
      }
    }
  }
}

TEST(LocalizedModule, ChoosingALanguageSwitchesTheCoreTexts) {
  {
    ScopedCoreLanguage german({"de"});
    EXPECT_EQ(coreText().language(), "de");
    EXPECT_EQ(L("diagnose.languageName", "English"), "Deutsch");
    EXPECT_EQ(L("test.absent.key", "Fallback"), "Fallback");
  }
  // The test process runs with LANG=en_US.UTF-8.
  EXPECT_EQ(coreText().language(), "en");
  EXPECT_EQ(L("diagnose.languageName", "English"), "English");
}

TEST(LocalizedModule, FormatsTheTranslationNotTheDefault) {
  auto bundle = bundleOf({{"de", R"({"left": "%2$d %% übrig bei %1$@"})"}});
  LocalizedModule module(bundle);
  module.choose(Languages{"de"});
  EXPECT_EQ(module.text("left", "%@ has %d%% left", "Codex", 40), "40 % übrig bei Codex");
  module.choose(Languages{"en"});
  EXPECT_EQ(module.text("left", "%@ has %d%% left", "Codex", 40), "Codex has 40% left");
}

TEST(LocalizedModule, ChoosesFromTheLaunchLanguagesOnTheFirstLookupOnly) {
  LocalizedModule module(sampleBundle());
  {
    ScopedVariable language("LANGUAGE", "de:en");
    EXPECT_EQ(module.text("greeting", "Hello"), "Hallo");
  }
  // Later changes to the environment do not move a module that has chosen.
  EXPECT_EQ(module.language(), "de");
  module.choose(std::nullopt);
  EXPECT_EQ(module.text("greeting", "Hello"), "Hello");
}

TEST(LocalizedModule, DesktopTextsComeFromTheDesktopBundle) {
  EXPECT_EQ(desktopStringBundle().module, "desktop");
  desktopText().choose(Languages{"de"});
  EXPECT_EQ(desktopText().language(), "de");
  EXPECT_EQ(desktop::L("test.absent.key", "%@ left", "5h"), "5h left");
  desktopText().choose(std::nullopt);
  EXPECT_EQ(desktopText().language(), "en");
}

TEST(LocalizedModule, LookupsRaceSafelyWithAChangeOfLanguage) {
  std::atomic<bool> done{false};
  std::atomic<int> unexpected{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      for (int i = 0; i < 500 || !done.load(); ++i) {
        std::string name = L("diagnose.languageName", "English");
        std::string formatted = L("test.absent.key", "%@ %d", name, i);
        if (name != "Deutsch" && name != "English") ++unexpected;
        if (formatted != name + " " + std::to_string(i)) ++unexpected;
      }
    });
  }
  for (int i = 0; i < 500; ++i) {
    if (i % 2 == 0) {
      coreText().choose(Languages{"de"});
    } else {
      coreText().choose(std::nullopt);
    }
  }
  done = true;
  for (auto& reader : readers) reader.join();
  coreText().choose(std::nullopt);
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_EQ(L("diagnose.languageName", "English"), "English");
}

}  // namespace
}  // namespace meterwright
