#include "core/text/StringCatalog.h"

#include "core/json/JsonText.h"

namespace meterwright {

namespace {

// "de_DE.UTF-8@euro" → "de-DE"; "C" and "POSIX" name no language.
std::string normalisedCode(std::string_view code) {
  std::string out;
  for (char c : code) {
    if (c == '.' || c == '@') break;
    out.push_back(c == '_' ? '-' : c);
  }
  if (out == "C" || out == "POSIX") out.clear();
  return out;
}

bool sameCode(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

const std::string* findTable(const StringBundle& bundle, std::string_view code) {
  for (const auto& [language, table] : bundle.tables) {
    if (sameCode(language, code)) return &language;
  }
  return nullptr;
}

}  // namespace

std::string StringCatalog::bestLanguage(const StringBundle& bundle,
                                        const std::vector<std::string>& preferredLanguages) {
  for (const std::string& preferred : preferredLanguages) {
    std::string code = normalisedCode(preferred);
    if (code.empty()) continue;
    if (const std::string* exact = findTable(bundle, code)) return *exact;
    std::string base = code.substr(0, code.find('-'));
    if (const std::string* general = findTable(bundle, base)) return *general;
  }
  return "en";
}

StringCatalog::StringCatalog(const StringBundle& bundle,
                             const std::vector<std::string>& preferredLanguages)
    : language_(bestLanguage(bundle, preferredLanguages)) {
  for (const auto& [language, table] : bundle.tables) {
    if (language != language_) continue;
    // A broken table leaves the catalog empty, so every lookup gives its English default.
    auto parsed = JsonText::parse(table);
    if (!parsed || !parsed->is_object()) break;
    for (const auto& [key, value] : parsed->items()) {
      if (value.is_string()) texts_.emplace(key, value.get<std::string>());
    }
  }
}

std::string StringCatalog::text(std::string_view key, std::string_view english) const {
  auto it = texts_.find(key);
  if (it == texts_.end()) return std::string(english);
  return it->second;
}

}  // namespace meterwright
