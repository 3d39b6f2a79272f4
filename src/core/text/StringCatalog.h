#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/StringBundle.h"

namespace meterwright {

// The texts of one module in the one language chosen for it: the best match among the bundle's
// tables for the preferred languages, falling back to English. Looking up a key the table lacks
// gives the English default passed by the caller, never the key.
class StringCatalog {
 public:
  StringCatalog(const StringBundle& bundle, const std::vector<std::string>& preferredLanguages);

  const std::string& language() const { return language_; }
  std::string text(std::string_view key, std::string_view english) const;

  // The bundle's table for the first preferred language it can serve: the exact code ("pt-BR"),
  // then its language part ("pt"); "en" when none matches. Codes may use "_" or "-" and may
  // carry an encoding or modifier ("de_DE.UTF-8@euro").
  static std::string bestLanguage(const StringBundle& bundle,
                                  const std::vector<std::string>& preferredLanguages);

 private:
  std::string language_;
  std::map<std::string, std::string, std::less<>> texts_;
};

}  // namespace meterwright
