#include "core/sync/cloud/CloudRecordCoding.h"

#include <utility>

#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright::CloudRecordCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

ordered_json typed(const char* type, ordered_json value) {
  ordered_json object = ordered_json::object();
  object[type] = std::move(value);
  return object;
}

ordered_json fieldToJson(const CloudRecord::Field& field) {
  return std::visit(
      Overloaded{[](const std::string& text) { return typed("string", text); },
                 [](const CloudRecord::Bytes& bytes) {
                   return typed("bytes", SyncCoding::bytesToJson(bytes.data));
                 },
                 [](const Date& date) { return typed("date", SyncCoding::dateToJson(date)); }},
      field);
}

std::optional<CloudRecord::Field> fieldFromJson(const json& value) {
  if (!value.is_object() || value.size() != 1) return std::nullopt;
  auto member = value.begin();
  const std::string& type = member.key();
  const json& content = member.value();
  if (type == "string") {
    if (!content.is_string()) return std::nullopt;
    return CloudRecord::Field(content.get<std::string>());
  }
  if (type == "bytes") {
    auto bytes = SyncCoding::bytesFromJson(content);
    if (!bytes) return std::nullopt;
    return CloudRecord::Field(CloudRecord::Bytes{std::move(*bytes)});
  }
  if (type == "date") {
    auto date = SyncCoding::dateFromJson(content);
    if (!date) return std::nullopt;
    return CloudRecord::Field(*date);
  }
  return std::nullopt;
}

}  // namespace

std::optional<ordered_json> toJson(const CloudRecord& record) {
  if (record.recordType.empty()) return std::nullopt;
  ordered_json fields = ordered_json::object();
  for (const auto& [key, field] : record.fields) fields[key] = fieldToJson(field);
  ordered_json object = ordered_json::object();
  object["recordType"] = record.recordType;
  object["fields"] = std::move(fields);
  object["modifiedAt"] = SyncCoding::dateToJson(record.modifiedAt);
  return object;
}

std::optional<CloudRecord> recordFromJson(const json& value) {
  JsonObjectReader reader(value);
  CloudRecord record;
  auto type = reader.requiredString("recordType");
  const json* fields = reader.requiredMember("fields");
  const json* modifiedAt = reader.requiredMember("modifiedAt");
  if (!reader.ok() || !type || type->empty() || !fields || !fields->is_object() || !modifiedAt) {
    return std::nullopt;
  }
  auto date = SyncCoding::dateFromJson(*modifiedAt);
  if (!date) return std::nullopt;
  record.recordType = std::move(*type);
  record.modifiedAt = *date;
  for (const auto& [key, field] : fields->items()) {
    auto decoded = fieldFromJson(field);
    if (!decoded) return std::nullopt;
    record.fields.emplace(key, std::move(*decoded));
  }
  return record;
}

std::optional<std::string> encode(const CloudRecord& record) {
  auto value = toJson(record);
  if (!value) return std::nullopt;
  auto text = JsonText::compact(*value);
  if (!text || text->size() > maximumBytes) return std::nullopt;
  return text;
}

std::optional<CloudRecord> decode(std::string_view text) {
  if (text.size() > maximumBytes) return std::nullopt;
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return recordFromJson(*value);
}

}  // namespace meterwright::CloudRecordCoding
