#include "core/sync/protocol/CloudPairingGrant.h"

#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/sync/protocol/SyncCoding.h"

namespace meterwright {

nlohmann::ordered_json CloudPairingGrant::toJson() const {
  return nlohmann::ordered_json{
      {"version", version}, {"macID", macID.text()},
      {"macName", macName}, {"publicKey", SyncCoding::encodeBytes(publicKey)},
      {"token", token},     {"grantedAt", SyncCoding::encodeDate(grantedAt)}};
}

std::optional<std::string> CloudPairingGrant::encoded() const {
  return JsonText::compact(toJson());
}

std::optional<CloudPairingGrant> CloudPairingGrant::fromJson(const nlohmann::json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto macID = reader.requiredString("macID");
  auto macName = reader.requiredString("macName");
  const nlohmann::json* publicKey = reader.requiredMember("publicKey");
  auto token = reader.requiredString("token");
  const nlohmann::json* grantedAt = reader.requiredMember("grantedAt");
  if (!reader.ok()) return std::nullopt;
  auto uuid = Uuid::parse(*macID);
  auto keyBytes = SyncCoding::decodeBytes(*publicKey);
  auto date = SyncCoding::decodeDate(*grantedAt);
  if (!uuid || !keyBytes || !date) return std::nullopt;
  return CloudPairingGrant{*version,          *uuid, std::move(*macName), *keyBytes,
                           std::move(*token), *date};
}

std::optional<CloudPairingGrant> CloudPairingGrant::decode(std::string_view json) {
  auto value = JsonText::parse(json);
  if (!value) return std::nullopt;
  return fromJson(*value);
}

}  // namespace meterwright
