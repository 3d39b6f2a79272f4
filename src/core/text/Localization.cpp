#include "core/text/Localization.h"

#include <unicode/locid.h>
#include <unicode/stringoptions.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <mutex>

#include "core/files/FileLocations.h"
#include "core/text/LocalizedModule.h"
#include "core/text/StringBundle.h"

namespace meterwright::Localization {

namespace {

// The user-defaults file apply() last wrote, so lookups read the launch language from the same
// place start-up put it, even when start-up was given other file locations than the environment's.
std::mutex appliedMutex;
std::optional<std::filesystem::path> appliedDefaultsFile;

}  // namespace

std::vector<std::string> available() {
  std::vector<std::string> codes;
  for (const auto& [language, table] : coreStringBundle().tables) {
    if (language != "Base") codes.push_back(language);
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

std::string endonym(const std::string& code) {
  icu::Locale locale(code.c_str());
  if (locale.isBogus() || code.empty()) return code;
  // ICU echoes the language code back when it has no name for the language; a name built around
  // it ("Xx (United States)") is no name either.
  icu::UnicodeString languageName;
  locale.getDisplayLanguage(locale, languageName);
  std::string utf8;
  languageName.toUTF8String(utf8);
  if (languageName.isEmpty() || utf8 == locale.getLanguage()) return code;
  icu::UnicodeString name;
  locale.getDisplayName(locale, name);
  // Names of languages are lower-case in many languages ("français"); as a choice in a list they
  // start with a capital, following the language's own casing rules (Turkish dotted i, say).
  name.toTitle(nullptr, locale, U_TITLECASE_NO_LOWERCASE | U_TITLECASE_SENTENCES);
  utf8.clear();
  name.toUTF8String(utf8);
  return utf8;
}

void apply(const std::string& language, UserDefaults& defaults) {
  {
    std::lock_guard lock(appliedMutex);
    appliedDefaultsFile = defaults.file();
  }
  auto codes = available();
  if (!language.empty() && std::find(codes.begin(), codes.end(), language) != codes.end()) {
    defaults.set(languagesKey, nlohmann::json::array({language}));
  } else {
    defaults.remove(languagesKey);
  }
  LocalizedModule::chooseAgainEverywhere();
}

std::vector<std::string> preferredLanguages(const UserDefaults& defaults,
                                            const Environment& environment) {
  if (auto chosen = defaults.stringArray(languagesKey); chosen && !chosen->empty()) return *chosen;

  std::optional<std::string> locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto value = environment(name); value && !value->empty()) {
      locale = *value;
      break;
    }
  }
  std::vector<std::string> languages;
  // As gettext does: under the C locale (which is also what no variable at all means) LANGUAGE is
  // ignored, so scripts that set LC_ALL=C get the untranslated texts.
  bool plainLocale = !locale || *locale == "C" || *locale == "POSIX";
  if (auto list = environment("LANGUAGE"); list && !plainLocale) {
    std::size_t start = 0;
    while (start <= list->size()) {
      std::size_t end = list->find(':', start);
      if (end == std::string::npos) end = list->size();
      if (end > start) languages.push_back(list->substr(start, end - start));
      start = end + 1;
    }
  }
  if (locale) languages.push_back(*locale);
  return languages;
}

std::vector<std::string> launchLanguages() {
  std::optional<std::filesystem::path> file;
  {
    std::lock_guard lock(appliedMutex);
    file = appliedDefaultsFile;
  }
  UserDefaults defaults(file.value_or(FileLocations::fromProcessEnvironment().userDefaultsFile()));
  return preferredLanguages(defaults, processEnvironment());
}

}  // namespace meterwright::Localization
