#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/text/LocalizedModule.h"
#include "core/text/StringCatalog.h"
#include "support/StringBundleChecks.h"

namespace meterwright {
namespace {

using Languages = std::vector<std::string>;
using Best = std::pair<Languages, std::string>;
using Pair = std::pair<std::string_view, std::string>;

const StringBundle sample{
    "test", {{"de", R"({"hi": "Hallo", "n": 5})"}, {"en", "{}"}, {"pt", "{}"}, {"pt-BR", "{}"}}};

TEST(StringCatalog, BestLanguageIsTheFirstPreferredCodeOrItsLanguagePartItServesElseEnglish) {
  for (const auto& [preferred, expected] :
       {Best({"de_DE.UTF-8"}, "de"), Best({"de_DE.UTF-8@euro"}, "de"), Best({"de_DE@euro"}, "de"),
        Best({"de-AT"}, "de"), Best({"DE-de"}, "de"), Best({"pt_BR.UTF-8"}, "pt-BR"),
        Best({"pt-br"}, "pt-BR"), Best({"pt-PT"}, "pt"), Best({"C"}, "en"), Best({"C.UTF-8"}, "en"),
        Best({"POSIX"}, "en"), Best({"xx_YY"}, "en"), Best({""}, "en"), Best({}, "en"),
        Best({"fr", "pt", "de"}, "pt"), Best({"en_GB.UTF-8", "de"}, "en"), Best({"C", "de"}, "de")})
    EXPECT_EQ(StringCatalog::bestLanguage(sample, preferred), expected)
        << ::testing::PrintToString(preferred);
  EXPECT_EQ(StringCatalog::bestLanguage(coreStringBundle(), {"pt-BR", "de"}), "de");
  // The core bundle's tables are objects of texts, German and English among them.
  testing::expectGermanAndEnglishObjectsOfTexts(coreStringBundle());
}

TEST(StringCatalog, GivesTheTablesTextElseTheEnglishDefaultNeverTheKey) {
  StringCatalog german(sample, {"de_DE.UTF-8"});
  EXPECT_EQ(german.text("hi", "Hello"), "Hallo");
  EXPECT_EQ(german.text("menu.refresh.tooSoon", "Too soon"), "Too soon");
  EXPECT_EQ(german.text("n", "Five"), "Five");
  EXPECT_EQ(StringCatalog(sample, {"en"}).text("hi", "Hello"), "Hello");
  // Broken tables, and a bundle without any English table.
  for (auto [table, language] : {Pair(R"({"hi": "Hallo")", "de"), Pair(R"(["Hallo"])", "de"),
                                 Pair("", "de"), Pair(R"({"hi": "Hallo"})", "fr")})
    EXPECT_EQ(StringCatalog({"test", {{"de", table}}}, {language}).text("hi", "Hello"), "Hello");
}

TEST(LocalizedModule, ChoosesItsTableOnceFromTheLaunchLanguagesOrAsTold) {
  coreText().choose(std::nullopt);
  ::setenv("LANGUAGE", "de", 1);
  EXPECT_EQ(L("diagnose.languageName", "English"), "Deutsch");
  ::unsetenv("LANGUAGE");
  EXPECT_EQ(coreText().language(), "de") << "chosen on the first lookup only";
  coreText().choose(std::nullopt);
  // The test process runs with LANG=en_US.UTF-8.
  EXPECT_EQ(L("diagnose.languageName", "English"), "English");
  coreText().choose(Languages{"de"});
  EXPECT_EQ(L("diagnose.languageName", "English"), "Deutsch");
  EXPECT_EQ(L("test.absent.key", "Fallback"), "Fallback");
  coreText().choose(std::nullopt);
}

TEST(LocalizedModule, LookupsRaceSafelyWithAChangeOfLanguage) {
  std::atomic<bool> done{false};
  std::atomic<int> unexpected{0};
  auto read = [&] {
    for (int i = 0; i < 500 || !done; ++i) {
      std::string name = L("diagnose.languageName", "English");
      if (name != "Deutsch" && name != "English") ++unexpected;
      if (L("test.absent.key", "%@ %d", name, i) != name + " " + std::to_string(i)) ++unexpected;
    }
  };
  std::thread readers[] = {std::thread(read), std::thread(read), std::thread(read)};
  for (int i = 0; i < 500; ++i)
    coreText().choose(i % 2 ? std::nullopt : std::optional(Languages{"de"}));
  done = true;
  for (auto& reader : readers) reader.join();
  coreText().choose(std::nullopt);
  EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace meterwright
