#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/sync/cloud/CloudRecord.h"

// The file form of a cloud record, in the SyncCoding convention (dates as seconds since 1970,
// bytes as padded Base64, compact):
//
//   {"recordType":"Envelope",
//    "fields":{"sender":{"string":"…"},"sealed":{"bytes":"…"},"sentAt":{"date":1700000000.5}},
//    "modifiedAt":1700000000.5}
//
// A field is an object with exactly one member naming its type. Decoding is strict: anything
// else than one such record (a wrong type, an unknown field type, Base64 that is not canonical,
// an empty record type) gives nothing. Unknown top-level members are ignored.
namespace meterwright::CloudRecordCoding {

// No record file is larger: an envelope of the protocol's largest message, Base64 inside Base64,
// stays well below it. Text beyond it is refused before it is parsed.
inline constexpr std::size_t maximumBytes = 2 * 1024 * 1024;

std::optional<std::string> encode(const CloudRecord& record);
std::optional<CloudRecord> decode(std::string_view text);

std::optional<nlohmann::ordered_json> toJson(const CloudRecord& record);
std::optional<CloudRecord> recordFromJson(const nlohmann::json& value);

}  // namespace meterwright::CloudRecordCoding
