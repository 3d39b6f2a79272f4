#include "core/usage/SnapshotStore.h"

#include "core/files/AtomicFile.h"
#include "core/json/JsonText.h"
#include "core/usage/SnapshotCoding.h"

namespace meterwright::SnapshotStore {

std::filesystem::path url(const FileLocations& locations) {
  return locations.supportFolder() / "last-snapshot.json";
}

void save(const Snapshot& snapshot, const FileLocations& locations) {
  auto value = SnapshotCoding::toJson(snapshot, SnapshotCoding::iso8601());
  if (!value) return;
  auto text = JsonText::compact(*value);
  if (!text) return;
  if (!AtomicFile::createFolders(locations.supportFolder())) return;
  AtomicFile::write(url(locations), *text);
}

std::optional<Snapshot> load(double maximumAge, Date now, const FileLocations& locations) {
  auto file = FileReading::read(url(locations));
  if (file.outcome != FileReading::Outcome::read) return std::nullopt;
  auto value = JsonText::parse(file.bytes);
  if (!value) return std::nullopt;
  auto snapshot = SnapshotCoding::snapshotFromJson(*value, SnapshotCoding::iso8601());
  if (!snapshot) return std::nullopt;
  if (!(secondsBetween(snapshot->generatedAt, now) < maximumAge)) return std::nullopt;
  return snapshot;
}

}  // namespace meterwright::SnapshotStore
