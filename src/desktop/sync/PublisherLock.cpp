#include "desktop/sync/PublisherLock.h"

#include "core/files/AtomicFile.h"

namespace meterwright {

std::filesystem::path PublisherLock::path(const FileLocations& locations) {
  return locations.runtimeFolder() / "publisher.lock";
}

PublisherLock::Outcome PublisherLock::take(const std::filesystem::path& file,
                                           std::optional<PublisherLock>& held) {
  held.reset();
  // Made 0700 here; $XDG_RUNTIME_DIR itself is the user's alone, and the state folder lies in
  // the home folder. The lock file is never opened through a link.
  if (!AtomicFile::createFolders(file.parent_path(), 0700)) return Outcome::unavailable;
  std::optional<FileLock> lock = FileLock::open(file);
  if (!lock) return Outcome::unavailable;
  if (!lock->lock(0)) return Outcome::heldElsewhere;
  held.emplace(PublisherLock(std::move(*lock)));
  return Outcome::taken;
}

}  // namespace meterwright
