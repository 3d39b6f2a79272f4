#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/StringBundle.h"
#include "core/text/StringCatalog.h"
#include "core/text/TextFormat.h"

namespace meterwright {

// The localised texts of one module (core, desktop). The language is chosen once, on the first
// lookup, from the launch languages, so it follows the launch language set at start-up; lookups
// are safe from any thread.
class LocalizedModule {
 public:
  explicit LocalizedModule(const StringBundle& bundle);
  ~LocalizedModule();
  LocalizedModule(const LocalizedModule&) = delete;
  LocalizedModule& operator=(const LocalizedModule&) = delete;

  std::string text(std::string_view key, std::string_view english);

  template <typename... Args>
  std::string text(std::string_view key, std::string_view english, const Args&... arguments) {
    return TextFormat::format(text(key, english), {toTextArgument(arguments)...});
  }

  // The language whose table is in use (choosing it if no lookup has yet).
  std::string language();

  // For tests: choose again, now for `languages`, or from the launch languages on the next lookup.
  void choose(std::optional<std::vector<std::string>> languages);

  // Every module chooses again on its next lookup: the launch language has just been set, and
  // texts looked up before (while loading the configuration) must not pin the old one.
  static void chooseAgainEverywhere();

 private:
  std::shared_ptr<const StringCatalog> catalog();

  const StringBundle& bundle_;
  std::mutex mutex_;
  std::shared_ptr<const StringCatalog> catalog_;
};

LocalizedModule& coreText();

// The core library's text for `key`: the launch language's translation, else `english`.
inline std::string L(std::string_view key, std::string_view english) {
  return coreText().text(key, english);
}

template <typename... Args>
std::string L(std::string_view key, std::string_view english, const Args&... arguments) {
  return coreText().text(key, english, arguments...);
}

}  // namespace meterwright
