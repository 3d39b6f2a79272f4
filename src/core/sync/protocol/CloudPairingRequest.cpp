#include "core/sync/protocol/CloudPairingRequest.h"

#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {

nlohmann::ordered_json CloudPairingRequest::toJson() const {
  return nlohmann::ordered_json{{"version", version},
                                {"deviceID", deviceID.text()},
                                {"deviceName", deviceName},
                                {"platform", platform},
                                {"publicKey", SyncCoding::encodeBytes(publicKey)},
                                {"askedAt", SyncCoding::encodeDate(askedAt)}};
}

std::optional<std::string> CloudPairingRequest::encoded() const {
  return JsonText::compact(toJson());
}

std::optional<CloudPairingRequest> CloudPairingRequest::fromJson(const nlohmann::json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = reader.requiredString("deviceID");
  auto deviceName = reader.requiredString("deviceName");
  auto platform = reader.requiredString("platform");
  const nlohmann::json* publicKey = reader.requiredMember("publicKey");
  const nlohmann::json* askedAt = reader.requiredMember("askedAt");
  if (!reader.ok()) return std::nullopt;
  auto uuid = Uuid::parse(*deviceID);
  auto keyBytes = SyncCoding::decodeBytes(*publicKey);
  auto date = SyncCoding::decodeDate(*askedAt);
  if (!uuid || !keyBytes || !date) return std::nullopt;
  return CloudPairingRequest{*version,  *uuid, std::move(*deviceName), std::move(*platform),
                             *keyBytes, *date};
}

std::optional<CloudPairingRequest> CloudPairingRequest::decode(std::string_view json) {
  auto value = JsonText::parse(json);
  if (!value) return std::nullopt;
  return fromJson(*value);
}

}  // namespace meterwright
