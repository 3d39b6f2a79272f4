#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "core/files/FileLocations.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"

// The last reading on disk, so that a new launch starts from the last known numbers. The composite
// source saves what it assembles and loads it once at construction. The store never reports errors:
// a reading that cannot be saved or loaded is simply not there.
namespace meterwright::SnapshotStore {

// The age limit the composite source loads with.
constexpr double sevenDays = 604800;

// <support>/Meterwright/last-snapshot.json
std::filesystem::path url(const FileLocations& locations);

// Compact JSON with ISO 8601 dates, written atomically: when any step fails the previous file stays
// as it was.
void save(const Snapshot& snapshot, const FileLocations& locations);

// Puts `fresh` provider readings into the stored reading, each replacing the stored entry of its
// id unless that one was observed later, and writes the result only when it differs. The processes
// of one user do this one at a time under a lock beside the file, so two that each fetched one
// provider keep both readings. The stored reading's generatedAt becomes the newest observedAt, its
// providers sorted by id.
void merge(const std::vector<ProviderSnapshot>& fresh, Date now, const FileLocations& locations);

// The saved reading when it is younger than `maximumAge` seconds at `now` (a reading from the
// future counts as young); nothing when the file is missing, unreadable, oversized, undecodable or
// too old.
std::optional<Snapshot> load(double maximumAge, Date now, const FileLocations& locations);

}  // namespace meterwright::SnapshotStore
