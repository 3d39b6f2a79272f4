#include "core/settings/UserDefaults.h"

#include "core/files/AtomicFile.h"
#include "core/files/FileLock.h"
#include "core/json/JsonText.h"

namespace meterwright {

namespace {

// The file's values; nothing when it exists but cannot be read, so a change never drops keys it
// could not see. A damaged file has no keys to keep and reads as empty.
std::optional<nlohmann::json> readValues(const std::filesystem::path& file) {
  auto read = FileReading::read(file);
  switch (read.outcome) {
    case FileReading::Outcome::missing:
    case FileReading::Outcome::tooLarge:
      return nlohmann::json::object();
    case FileReading::Outcome::unreadable:
      return std::nullopt;
    case FileReading::Outcome::read:
      break;
  }
  auto parsed = JsonText::parse(read.bytes);
  if (!parsed || !parsed->is_object()) return nlohmann::json::object();
  return parsed;
}

}  // namespace

nlohmann::json UserDefaults::load() const {
  return readValues(file_).value_or(nlohmann::json::object());
}

bool UserDefaults::update(const std::function<bool(nlohmann::json&)>& change) {
  // Most calls change nothing (the launch language applied at every start): they cost one read
  // and never take the lock or touch the file.
  auto values = readValues(file_);
  if (!values) return false;
  if (!change(*values)) return true;

  AtomicFile::createFolders(file_.parent_path(), 0700);
  std::filesystem::path lockFile = file_;
  lockFile += ".lock";
  auto lock = FileLock::acquire(lockFile, patience_);
  if (!lock) return false;
  // Read again under the lock: another process may have changed the file since.
  values = readValues(file_);
  if (!values) return false;
  if (!change(*values)) return true;
  auto text = JsonText::prettySorted(*values);
  if (!text) return false;
  // Exactly 0600 whatever it replaces: it holds the pairing identity's private key.
  return AtomicFile::write(file_, *text + "\n", {.mode = 0600, .exactMode = true, .stopAt = {}});
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
  return update([&](nlohmann::json& values) {
    auto found = values.find(key);
    if (found != values.end() && *found == newValue) return false;
    values[key] = newValue;
    return true;
  });
}

bool UserDefaults::remove(const std::string& key) {
  return update([&](nlohmann::json& values) { return values.erase(key) > 0; });
}

}  // namespace meterwright
