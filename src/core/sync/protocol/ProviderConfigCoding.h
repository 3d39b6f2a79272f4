#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "core/config/ProviderConfig.h"

// One ProviderConfig as it travels inside a sync payload: the configuration file's keys, in field
// order. The sender has already normalised its configuration, so decoding applies no migrations
// and never looks at the disk. Named as the convention atop core/sync/protocol/SyncCoding.h says.
namespace meterwright::ProviderConfigCoding {

// Nothing for a NaN or infinite `pollSeconds`.
std::optional<nlohmann::ordered_json> toJson(const ProviderConfig& entry);

// `id` is required; any other missing or null key takes the default for the id (an icon as if
// no application were installed). A mistyped key gives nothing.
std::optional<ProviderConfig> providerConfigFromJson(const nlohmann::json& value);

}  // namespace meterwright::ProviderConfigCoding
