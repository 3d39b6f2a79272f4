#include "core/sync/pairing/PairedDeviceCoding.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/crypto/Base64.h"
#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"

namespace meterwright::PairedDeviceCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

// Dates are kept to the microsecond, so a decoded date encodes to the same number and an encoded
// date decodes to itself: rewriting the item never drifts its dates.
constexpr long long microsPerSecond = 1'000'000;
// Seconds either side of 2001 that a Date (nanoseconds in 64 bits) can hold, with room to spare.
constexpr double dateLimit = 8.2e9;

std::optional<ordered_json> dateToJson(Date date) {
  // In microseconds before subtracting, so no date can overflow the nanosecond count.
  long long total =
      std::chrono::round<std::chrono::microseconds>(date.time_since_epoch()).count() -
      std::chrono::round<std::chrono::microseconds>(referenceDate().time_since_epoch()).count();
  long long whole = total / microsPerSecond;
  long long fraction = total % microsPerSecond;
  if (fraction < 0) {
    fraction += microsPerSecond;
    whole -= 1;
  }
  auto number =
      JsonNumber::fromDouble(static_cast<double>(whole) + static_cast<double>(fraction) / 1e6);
  if (!number) return std::nullopt;
  return ordered_json(*number);
}

std::optional<Date> dateFromSeconds(double seconds) {
  if (!std::isfinite(seconds)) return std::nullopt;
  seconds = std::clamp(seconds, -dateLimit, dateLimit);
  double whole = std::floor(seconds);
  long long total =
      static_cast<long long>(whole) * microsPerSecond + std::llround((seconds - whole) * 1e6);
  return referenceDate() + std::chrono::microseconds(total);
}

std::optional<ordered_json> toJson(const PairingRecord& record) {
  const PairedDevice& device = record.device;
  auto pairedAt = dateToJson(device.pairedAt);
  if (!pairedAt) return std::nullopt;
  ordered_json encodedDevice = {{"id", device.id.text()},
                                {"name", device.name},
                                {"platform", device.platform},
                                {"pairedAt", *pairedAt}};
  if (device.lastSeenAt) {
    auto lastSeenAt = dateToJson(*device.lastSeenAt);
    if (!lastSeenAt) return std::nullopt;
    encodedDevice["lastSeenAt"] = *lastSeenAt;
  }
  return ordered_json{{"device", std::move(encodedDevice)},
                      {"key", Base64::encode(record.key.view())}};
}

std::optional<PairedDevice> deviceFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto id = reader.requiredString("id");
  auto name = reader.requiredString("name");
  auto platform = reader.requiredString("platform");
  auto pairedAt = reader.requiredNumber("pairedAt");
  auto lastSeenAt = reader.number("lastSeenAt");
  if (!reader.ok()) return std::nullopt;
  auto uuid = Uuid::parse(*id);
  auto pairedDate = dateFromSeconds(*pairedAt);
  if (!uuid || !pairedDate) return std::nullopt;
  PairedDevice device{*uuid, std::move(*name), std::move(*platform), *pairedDate, std::nullopt};
  if (lastSeenAt) {
    device.lastSeenAt = dateFromSeconds(*lastSeenAt);
    if (!device.lastSeenAt) return std::nullopt;
  }
  return device;
}

std::optional<PairingRecord> recordFromJson(const json& value) {
  JsonObjectReader reader(value);
  const json* device = reader.requiredMember("device");
  auto key = reader.requiredString("key");
  if (!reader.ok()) return std::nullopt;
  auto decodedDevice = deviceFromJson(*device);
  if (!decodedDevice) return std::nullopt;
  auto keyBytes = Base64::decode(*key);
  if (!keyBytes) return std::nullopt;
  auto symmetricKey = SymmetricKey::fromBytes(*keyBytes);
  if (!symmetricKey) return std::nullopt;
  return PairingRecord{std::move(*decodedDevice), *symmetricKey};
}

}  // namespace

Date referenceDate() {
  return dateFromUnixSeconds(978'307'200);
}

std::optional<std::string> encode(const std::vector<PairingRecord>& records) {
  ordered_json array = ordered_json::array();
  for (const PairingRecord& record : records) {
    auto encoded = toJson(record);
    if (!encoded) return std::nullopt;
    array.push_back(std::move(*encoded));
  }
  return JsonText::compact(array);
}

std::optional<std::vector<PairingRecord>> decodeRecords(std::string_view text) {
  auto document = JsonText::parse(text);
  if (!document || !document->is_array()) return std::nullopt;
  std::vector<PairingRecord> records;
  records.reserve(document->size());
  for (const json& element : *document) {
    auto record = recordFromJson(element);
    if (!record) return std::nullopt;
    records.push_back(std::move(*record));
  }
  return records;
}

}  // namespace meterwright::PairedDeviceCoding
