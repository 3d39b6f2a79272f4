#include "core/json/JsonObjectReader.h"

#include "core/json/JsonNumber.h"

namespace meterwright {

JsonObjectReader::JsonObjectReader(const json& value)
    : object_(value.is_object() ? &value : nullptr), ok_(value.is_object()) {}

const nlohmann::json* JsonObjectReader::member(const char* key) {
  if (!object_) return nullptr;
  auto it = object_->find(key);
  if (it == object_->end() || it->is_null()) return nullptr;
  return &*it;
}

std::optional<std::string> JsonObjectReader::string(const char* key) {
  const json* value = member(key);
  if (!value) return std::nullopt;
  if (!value->is_string()) return fail(), std::nullopt;
  return value->get<std::string>();
}

std::optional<bool> JsonObjectReader::boolean(const char* key) {
  const json* value = member(key);
  if (!value) return std::nullopt;
  if (!value->is_boolean()) return fail(), std::nullopt;
  return value->get<bool>();
}

std::optional<int> JsonObjectReader::integer(const char* key) {
  const json* value = member(key);
  if (!value) return std::nullopt;
  auto result = JsonNumber::toInt(*value);
  if (!result) fail();
  return result;
}

std::optional<int> JsonObjectReader::clampedInteger(const char* key) {
  const json* value = member(key);
  if (!value) return std::nullopt;
  auto result = JsonNumber::toClampedInt(*value);
  if (!result) fail();
  return result;
}

std::optional<double> JsonObjectReader::number(const char* key) {
  const json* value = member(key);
  if (!value) return std::nullopt;
  auto result = JsonNumber::toDouble(*value);
  if (!result) fail();
  return result;
}

const nlohmann::json* JsonObjectReader::array(const char* key) {
  const json* value = member(key);
  if (!value) return nullptr;
  if (!value->is_array()) return fail(), nullptr;
  return value;
}

std::optional<std::string> JsonObjectReader::requiredString(const char* key) {
  auto result = string(key);
  if (!result) fail();
  return result;
}

std::optional<int> JsonObjectReader::requiredInteger(const char* key) {
  auto result = integer(key);
  if (!result) fail();
  return result;
}

std::optional<double> JsonObjectReader::requiredNumber(const char* key) {
  auto result = number(key);
  if (!result) fail();
  return result;
}

const nlohmann::json* JsonObjectReader::requiredArray(const char* key) {
  const json* result = array(key);
  if (!result) fail();
  return result;
}

const nlohmann::json* JsonObjectReader::requiredMember(const char* key) {
  const json* result = member(key);
  if (!result) fail();
  return result;
}

}  // namespace meterwright
