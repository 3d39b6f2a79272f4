#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/time/Clock.h"

namespace meterwright {

// A device's request to pair through iCloud, for a device that cannot read the code on the Mac's
// screen. It travels unencrypted: it holds only the device's identity and public key, and the user
// approves it on the Mac.
struct CloudPairingRequest {
  int version = SyncProtocol::version;
  Uuid deviceID;
  std::string deviceName;
  std::string platform;
  // The device's 32-byte X25519 public key.
  std::string publicKey;
  Date askedAt;

  // True when more than `seconds` have passed from `askedAt` to `now`.
  bool isStale(double seconds, Date now) const { return secondsBetween(askedAt, now) > seconds; }

  // Sync-coder JSON: members in field order, dates as seconds since 1970, bytes as Base64.
  // `encoded()` gives nothing when a text member is not UTF-8.
  nlohmann::ordered_json toJson() const;
  std::optional<std::string> encoded() const;
  // Every member is required.
  static std::optional<CloudPairingRequest> fromJson(const nlohmann::json& value);
  static std::optional<CloudPairingRequest> decode(std::string_view json);

  bool operator==(const CloudPairingRequest&) const = default;
};

}  // namespace meterwright
