#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/encoding/Uuid.h"
#include "core/sync/cloud/CloudRecord.h"
#include "core/sync/protocol/CloudPairingGrant.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/time/Clock.h"

// The records the cloud route writes and the rules for what it accepts from them, as plain
// functions of values:
//
//   name                            type        fields
//   <recipient's UUID>              "Envelope"  sender (text), sealed (bytes: the envelope's
//                                               JSON), sentAt (date)
//   "pairing-request"               "Pairing"   sealed (bytes: the request's JSON), sentAt
//   "pairing-grant-<device's UUID>" "Pairing"   sealed (bytes: the grant's JSON), sentAt
//   "selftest-<fresh UUID>"         "Envelope"  sender, sealed ("self test"), sentAt
//
// All JSON inside is SyncCoding's; nothing here looks into a sealed envelope.
namespace meterwright::CloudRecords {

inline constexpr std::string_view envelopeType = "Envelope";
inline constexpr std::string_view pairingType = "Pairing";
inline constexpr std::string_view requestName = "pairing-request";

std::string mailboxName(const Uuid& deviceID);
std::string grantName(const Uuid& deviceID);
std::string selfTestName(const Uuid& fresh);

// The mailbox record of an envelope already in its JSON form (encoded once for every recipient).
CloudRecord envelopeRecord(const Uuid& senderID, std::string envelopeJson, Date sentAt);
CloudRecord selfTestRecord(const Uuid& deviceID, Date now);
// Nothing when the value cannot be encoded.
std::optional<CloudRecord> requestRecord(const CloudPairingRequest& request);
std::optional<CloudRecord> grantRecord(const CloudPairingGrant& grant);

// An "Envelope" record's envelope, when it holds one.
std::optional<SyncEnvelope> envelopeFrom(const CloudRecord& record);
// A "Pairing" record's request or grant, when it decodes completely and carries a key of the
// right length.
std::optional<CloudPairingRequest> requestFrom(const CloudRecord& record);
std::optional<CloudPairingGrant> grantFrom(const CloudRecord& record);

// The request to show the user: one asked no more than SyncProtocol::requestLifetime before
// `now`, of a version this program speaks.
std::optional<CloudPairingRequest> pendingRequestFrom(const CloudRecord& record, Date now);
// The grant to pair with: one of a version this program speaks.
std::optional<CloudPairingGrant> acceptedGrantFrom(const CloudRecord& record);

}  // namespace meterwright::CloudRecords
