#include "core/usage/SnapshotStore.h"

#include <algorithm>

#include "core/files/AtomicFile.h"
#include "core/files/FileLock.h"
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

void merge(const std::vector<ProviderSnapshot>& fresh, Date now, const FileLocations& locations) {
  if (fresh.empty() || !AtomicFile::createFolders(locations.supportFolder())) return;
  auto lock = FileLock::open(locations.supportFolder() / "last-snapshot.lock");
  // A holder stuck past this still leaves a whole file: the write is atomic, only a concurrent
  // update could be lost.
  if (lock) lock->lock(2);

  std::optional<Snapshot> stored = load(sevenDays, now, locations);
  Snapshot merged = stored.value_or(Snapshot{Date::min(), {}, std::nullopt, "direct"});
  for (const ProviderSnapshot& provider : fresh) {
    auto same = std::find_if(merged.providers.begin(), merged.providers.end(),
                             [&](const ProviderSnapshot& p) { return p.id == provider.id; });
    if (same != merged.providers.end()) {
      // Another process may have stored a newer reading meanwhile; it stays.
      if (!(provider.observedAt < same->observedAt)) *same = provider;
    } else {
      merged.providers.push_back(provider);
    }
  }
  std::stable_sort(
      merged.providers.begin(), merged.providers.end(),
      [](const ProviderSnapshot& a, const ProviderSnapshot& b) { return a.id < b.id; });
  merged.generatedAt = Date::min();
  for (const ProviderSnapshot& provider : merged.providers) {
    if (provider.observedAt)
      merged.generatedAt = std::max(merged.generatedAt, *provider.observedAt);
  }
  // Compared as stored: whole seconds.
  auto encoded = [](const Snapshot& snapshot) -> std::optional<std::string> {
    auto value = SnapshotCoding::toJson(snapshot, SnapshotCoding::iso8601());
    return value ? JsonText::compact(*value) : std::nullopt;
  };
  auto text = encoded(merged);
  if (!text || (stored && encoded(*stored) == text)) return;
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
