#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace meterwright {

// Reads the typed members of one JSON object for a decoder whose rules are: a missing or null
// member is absent, a member of the wrong type fails the whole decode. Each accessor returns
// nothing when the member is absent or wrong; `ok()` tells the two apart at the end.
class JsonObjectReader {
 public:
  using json = nlohmann::json;

  // A value that is not an object fails at once.
  explicit JsonObjectReader(const json& value);

  bool ok() const { return ok_; }

  std::optional<std::string> string(const char* key);
  std::optional<bool> boolean(const char* key);
  std::optional<int> integer(const char* key);
  // A whole number held to the range of int (JsonNumber::toClampedInt).
  std::optional<int> clampedInteger(const char* key);
  std::optional<double> number(const char* key);
  // The member when it is an array; nullptr when absent.
  const json* array(const char* key);
  // The member whatever its type; nullptr when absent or null.
  const json* member(const char* key);

  // As above, but absence fails the decode too.
  std::optional<std::string> requiredString(const char* key);
  std::optional<int> requiredInteger(const char* key);
  std::optional<double> requiredNumber(const char* key);
  const json* requiredArray(const char* key);
  const json* requiredMember(const char* key);

  // Marks the decode failed, for checks the reader cannot make itself.
  void fail() { ok_ = false; }

 private:
  const json* object_;
  bool ok_;
};

}  // namespace meterwright
