#pragma once

// How every record family is coded (this and the other …Coding namespaces follow it):
//
//   Records are plain structs without coding members; a family's coding is free functions in
//   its own `…Coding` namespace, named by level:
//     JSON value  toJson(const R&) -> std::optional<nlohmann::ordered_json>
//                 <r>FromJson(const nlohmann::json&) -> std::optional<R>   (messageFromJson)
//     JSON text   encode(const R&) -> std::optional<std::string>
//                 decode<R>(std::string_view) -> std::optional<R>          (decodeMessage)
//   `encode` and `decode` always mean text. A value shared by records (a date, bytes) has a
//   JSON-level pair named after it: dateToJson / dateFromJson. Extra context (a date coding, the
//   installed applications) comes as a trailing parameter.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/sync/protocol/CloudPairingGrant.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/sync/protocol/SyncMessage.h"
#include "core/sync/protocol/SyncPayload.h"
#include "core/time/Clock.h"
#include "core/usage/SnapshotCoding.h"
#include "core/usage/SyncEvent.h"

// The JSON form of every sync record, as the peers' standard decoders read it: dates as seconds
// since 1970 (a JSON number, fraction kept), bytes as padded standard Base64, UUIDs as upper-case
// text, members in field order, compact. An enumeration case is an object with exactly one member
// named after the case.
//
// Dates travel as doubles, so they are kept to the microsecond: a decoded date re-encodes to the
// same number, and an encoded date decodes to itself rounded to the microsecond.
//
// Encoding gives nothing for a value JSON cannot carry (NaN or infinity, text that is not UTF-8).
// Decoding gives nothing for anything but one well-formed record: missing required keys, wrong
// types, an unknown case or reason, text nested too deep. Unknown keys are ignored.
namespace meterwright::SyncCoding {

SnapshotCoding::DateCoding dates();
nlohmann::ordered_json dateToJson(Date date);
// Any JSON number; nothing for another type.
std::optional<Date> dateFromJson(const nlohmann::json& value);

nlohmann::ordered_json bytesToJson(std::string_view bytes);
// Nothing unless a string of canonical padded Base64.
std::optional<std::string> bytesFromJson(const nlohmann::json& value);

// Compact JSON text.
std::optional<std::string> encode(const SyncMessage& message);
std::optional<std::string> encode(const SyncPayload& payload);
std::optional<std::string> encode(const SyncEnvelope& envelope);
std::optional<std::string> encode(const SyncEvent& event);
std::optional<std::string> encode(const CloudPairingRequest& request);
std::optional<std::string> encode(const CloudPairingGrant& grant);

std::optional<SyncMessage> decodeMessage(std::string_view json);
std::optional<SyncPayload> decodePayload(std::string_view json);
std::optional<SyncEnvelope> decodeEnvelope(std::string_view json);
std::optional<SyncEvent> decodeEvent(std::string_view json);
std::optional<CloudPairingRequest> decodeCloudPairingRequest(std::string_view json);
std::optional<CloudPairingGrant> decodeCloudPairingGrant(std::string_view json);

// The same at JSON level, for records nested in other documents.
std::optional<nlohmann::ordered_json> toJson(const SyncMessage& message);
std::optional<nlohmann::ordered_json> toJson(const SyncPayload& payload);
std::optional<nlohmann::ordered_json> toJson(const SyncEnvelope& envelope);
std::optional<nlohmann::ordered_json> toJson(const SyncEvent& event);
std::optional<nlohmann::ordered_json> toJson(const CloudPairingRequest& request);
std::optional<nlohmann::ordered_json> toJson(const CloudPairingGrant& grant);

std::optional<SyncMessage> messageFromJson(const nlohmann::json& value);
std::optional<SyncPayload> payloadFromJson(const nlohmann::json& value);
std::optional<SyncEnvelope> envelopeFromJson(const nlohmann::json& value);
std::optional<SyncEvent> eventFromJson(const nlohmann::json& value);
// The cloud pairing records: every member is required.
std::optional<CloudPairingRequest> cloudPairingRequestFromJson(const nlohmann::json& value);
std::optional<CloudPairingGrant> cloudPairingGrantFromJson(const nlohmann::json& value);

}  // namespace meterwright::SyncCoding
