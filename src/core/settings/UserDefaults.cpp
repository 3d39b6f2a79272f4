#include "core/settings/UserDefaults.h"

#include "core/files/AtomicFile.h"
#include "core/json/JsonText.h"

namespace meterwright {

nlohmann::json UserDefaults::load() const {
  auto file = FileReading::read(file_);
  if (file.outcome != FileReading::Outcome::read) return nlohmann::json::object();
  auto parsed = JsonText::parse(file.bytes);
  if (!parsed || !parsed->is_object()) return nlohmann::json::object();
  return *parsed;
}

bool UserDefaults::store(const nlohmann::json& values) {
  auto text = JsonText::prettySorted(values);
  if (!text) return false;
  AtomicFile::createFolders(file_.parent_path(), 0700);
  return AtomicFile::write(file_, *text + "\n", {.mode = 0600, .stopAt = {}});
}

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) const {
  auto values = load();
  auto it = values.find(key);
  if (it == values.end()) return std::nullopt;
  return *it;
}

std::optional<std::vector<std::string>> UserDefaults::stringArray(const std::string& key) const {
  auto stored = value(key);
  if (!stored || !stored->is_array()) return std::nullopt;
  std::vector<std::string> strings;
  for (const auto& element : *stored) {
    if (!element.is_string()) return std::nullopt;
    strings.push_back(element.get<std::string>());
  }
  return strings;
}

bool UserDefaults::boolean(const std::string& key) const {
  auto stored = value(key);
  return stored && stored->is_boolean() && stored->get<bool>();
}

bool UserDefaults::set(const std::string& key, nlohmann::json newValue) {
  auto values = load();
  values[key] = std::move(newValue);
  return store(values);
}

bool UserDefaults::remove(const std::string& key) {
  auto values = load();
  if (!values.contains(key)) return true;
  values.erase(key);
  return store(values);
}

}  // namespace meterwright
