#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/time/Clock.h"
#include "core/usage/ProviderSnapshot.h"
#include "core/usage/Snapshot.h"
#include "core/usage/UsageWindow.h"

// The JSON form of a reading. Keys are the field names in field order; optional fields are left out
// when absent. The same records travel in the last-reading file (ISO 8601 dates) and inside the
// sync payload (seconds since 1970), so the date form is a parameter. Named as the convention atop
// core/sync/protocol/SyncCoding.h says.
namespace meterwright::SnapshotCoding {

// How the carrier of a record writes and reads its dates. Either side returns nothing for a date it
// cannot carry, which fails the whole encode or decode.
struct DateCoding {
  std::function<std::optional<nlohmann::ordered_json>(Date)> toJson;
  std::function<std::optional<Date>(const nlohmann::json&)> fromJson;
};

// Internet date-time strings with whole seconds in UTC ("2025-03-01T09:30:00Z"); fractions of a
// second are dropped when writing and refused when reading.
DateCoding iso8601();

// Nothing when a value cannot be carried: a NaN or infinite `usedPercent`, or a date the coding
// refuses.
std::optional<nlohmann::ordered_json> toJson(const UsageWindow& window, const DateCoding& dates);
std::optional<nlohmann::ordered_json> toJson(const ProviderSnapshot& provider,
                                             const DateCoding& dates);
std::optional<nlohmann::ordered_json> toJson(const Snapshot& snapshot, const DateCoding& dates);

// Every non-optional key is required; optional keys may be missing or null; unknown keys are
// ignored. A missing or mistyped key anywhere, or a date the coding refuses, gives nothing.
std::optional<UsageWindow> usageWindowFromJson(const nlohmann::json& value,
                                               const DateCoding& dates);
std::optional<ProviderSnapshot> providerSnapshotFromJson(const nlohmann::json& value,
                                                         const DateCoding& dates);
std::optional<Snapshot> snapshotFromJson(const nlohmann::json& value, const DateCoding& dates);

}  // namespace meterwright::SnapshotCoding
