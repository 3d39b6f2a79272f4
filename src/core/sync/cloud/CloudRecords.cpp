#include "core/sync/cloud/CloudRecords.h"

#include <utility>

#include "core/crypto/CryptoPrimitives.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright::CloudRecords {

namespace {

CloudRecord pairingRecord(std::string json, Date sentAt) {
  CloudRecord record;
  record.recordType = std::string(pairingType);
  record.fields.emplace("sealed", CloudRecord::Bytes{std::move(json)});
  record.fields.emplace("sentAt", sentAt);
  return record;
}

const std::string* sealedOf(const CloudRecord& record, std::string_view type) {
  return record.recordType == type ? record.bytes("sealed") : nullptr;
}

}  // namespace

std::string mailboxName(const Uuid& deviceID) {
  return deviceID.text();
}

std::string grantName(const Uuid& deviceID) {
  return "pairing-grant-" + deviceID.text();
}

std::string selfTestName(const Uuid& fresh) {
  return "selftest-" + fresh.text();
}

CloudRecord envelopeRecord(const Uuid& senderID, std::string envelopeJson, Date sentAt) {
  CloudRecord record;
  record.recordType = std::string(envelopeType);
  record.fields.emplace("sender", senderID.text());
  record.fields.emplace("sealed", CloudRecord::Bytes{std::move(envelopeJson)});
  record.fields.emplace("sentAt", sentAt);
  return record;
}

CloudRecord selfTestRecord(const Uuid& deviceID, Date now) {
  return envelopeRecord(deviceID, "self test", now);
}

std::optional<CloudRecord> requestRecord(const CloudPairingRequest& request) {
  auto json = SyncCoding::encode(request);
  if (!json) return std::nullopt;
  return pairingRecord(std::move(*json), request.askedAt);
}

std::optional<CloudRecord> grantRecord(const CloudPairingGrant& grant) {
  auto json = SyncCoding::encode(grant);
  if (!json) return std::nullopt;
  return pairingRecord(std::move(*json), grant.grantedAt);
}

std::optional<SyncEnvelope> envelopeFrom(const CloudRecord& record) {
  auto sealed = sealedOf(record, envelopeType);
  if (!sealed) return std::nullopt;
  return SyncCoding::decodeEnvelope(*sealed);
}

std::optional<CloudPairingRequest> requestFrom(const CloudRecord& record) {
  auto sealed = sealedOf(record, pairingType);
  if (!sealed) return std::nullopt;
  auto request = SyncCoding::decodeCloudPairingRequest(*sealed);
  if (!request || request->publicKey.size() != CryptoPrimitives::x25519KeyBytes) {
    return std::nullopt;
  }
  return request;
}

std::optional<CloudPairingGrant> grantFrom(const CloudRecord& record) {
  auto sealed = sealedOf(record, pairingType);
  if (!sealed) return std::nullopt;
  auto grant = SyncCoding::decodeCloudPairingGrant(*sealed);
  if (!grant || grant->publicKey.size() != CryptoPrimitives::x25519KeyBytes) return std::nullopt;
  return grant;
}

std::optional<CloudPairingRequest> pendingRequestFrom(const CloudRecord& record, Date now) {
  auto request = requestFrom(record);
  if (!request || request->isStale(SyncProtocol::requestLifetime, now) ||
      request->version > SyncProtocol::version) {
    return std::nullopt;
  }
  return request;
}

std::optional<CloudPairingGrant> acceptedGrantFrom(const CloudRecord& record) {
  auto grant = grantFrom(record);
  if (!grant || grant->version > SyncProtocol::version) return std::nullopt;
  return grant;
}

}  // namespace meterwright::CloudRecords
