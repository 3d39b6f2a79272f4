#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace meterwright {

// The handful of per-user flags that live outside the configuration file ("setupCompleted.v1",
// "sync.identity.v1", "claudeLongLivedTokenRejected.v1", "AppleLanguages"): one JSON object in a
// file of their own. Every call reads the file afresh, so two processes see each other's changes;
// every change rewrites it atomically. A missing or damaged file reads as empty.
class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

  const std::filesystem::path& file() const { return file_; }

  std::optional<nlohmann::json> value(const std::string& key) const;
  // Nothing unless the value is an array of strings.
  std::optional<std::vector<std::string>> stringArray(const std::string& key) const;
  // False unless the value is `true`.
  bool boolean(const std::string& key) const;

  // True when the file was written.
  bool set(const std::string& key, nlohmann::json value);
  bool remove(const std::string& key);

 private:
  nlohmann::json load() const;
  bool store(const nlohmann::json& values);

  std::filesystem::path file_;
};

}  // namespace meterwright
