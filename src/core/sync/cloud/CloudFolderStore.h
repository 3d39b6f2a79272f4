#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "core/sync/cloud/CloudIgnoredFile.h"
#include "core/sync/cloud/CloudRecord.h"
#include "core/sync/cloud/CloudStoreProblem.h"

namespace meterwright {

// The records of the cloud folder's zone "Sync", one JSON file each (CloudFileNames,
// CloudRecordCoding). Everything found there is outside input, so every file is opened relative to
// the zone folder without following links and without blocking, its kind and size are checked on
// the open descriptor, and at most CloudRecordCoding::maximumBytes are read. Writes go to a
// temporary file that is renamed over the record, and never replace anything but a regular file.
//
// AtomicFile is not used here: it follows the user's own links, and every step here has to stay
// inside the zone folder's descriptor.
//
// Stateless apart from the path: each operation opens the folders afresh, because a sync tool may
// replace them at any time. Safe to use from several threads at once.
class CloudFolderStore {
 public:
  static constexpr std::string_view zoneName = "Sync";

  // The container may be a link (the user links it into a synced folder); the zone may not.
  explicit CloudFolderStore(std::filesystem::path container);

  const std::filesystem::path& container() const { return container_; }
  std::filesystem::path zoneFolder() const { return container_ / zoneName; }

  // The account check: the container can be listed, the zone folder exists or is created, and a
  // probe file can be written into it, read back and removed. Nothing when all of that worked;
  // kind missing when there is no container folder.
  std::optional<CloudStoreProblem> check() const;

  // Nothing when written.
  std::optional<CloudStoreProblem> save(std::string_view recordName,
                                        const CloudRecord& record) const;

  struct Fetched {
    std::optional<CloudRecord> record;
    // Set exactly when `record` is not.
    std::optional<CloudStoreProblem> problem;
  };
  Fetched fetch(std::string_view recordName) const;

  // Removes a regular file only; nothing when removed.
  std::optional<CloudStoreProblem> remove(std::string_view recordName) const;

  // The zone's files that are not usable records (leftovers of sync tools, foreign names, links,
  // fifos, oversized files), at most `limit`; record files are not decoded here.
  std::vector<CloudIgnoredFile> strayFiles(std::size_t limit) const;

 private:
  std::filesystem::path container_;
};

}  // namespace meterwright
