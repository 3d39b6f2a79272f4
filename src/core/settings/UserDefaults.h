#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace meterwright {

// The handful of per-user flags that live outside the configuration file ("setupCompleted.v1",
// "sync.identity.v1", "claudeLongLivedTokenRejected.v1", "AppleLanguages"): one JSON object in a
// file of their own, shared by every process of the user. Every call reads the file afresh, so
// processes see each other's changes. A change is a read-modify-write under a lock beside the
// file, and the file is rewritten (atomically, 0600) only when a value really changes, keeping
// every other key. A missing or damaged file reads as empty.
class UserDefaults {
 public:
  // How long a change waits for another process's change to finish.
  static constexpr std::chrono::milliseconds defaultPatience{2000};

  explicit UserDefaults(std::filesystem::path file,
                        std::chrono::milliseconds patience = defaultPatience)
      : file_(std::move(file)), patience_(patience) {}

  const std::filesystem::path& file() const { return file_; }

  std::optional<nlohmann::json> value(const std::string& key) const;
  // Nothing unless the value is an array of strings.
  std::optional<std::vector<std::string>> stringArray(const std::string& key) const;
  // False unless the value is `true`.
  bool boolean(const std::string& key) const;

  // True when the file holds the change afterwards, whether written now or already so. False
  // when it could not be written, the lock was not had in time, or the file exists but cannot be
  // read (its keys would be lost).
  bool set(const std::string& key, nlohmann::json value);
  bool remove(const std::string& key);

 private:
  // Applies `change` (which says whether it changed anything) to the file's values.
  bool update(const std::function<bool(nlohmann::json&)>& change);
  nlohmann::json load() const;

  std::filesystem::path file_;
  std::chrono::milliseconds patience_;
};

}  // namespace meterwright
