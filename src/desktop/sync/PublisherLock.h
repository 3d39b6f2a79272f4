#pragma once

#include <filesystem>
#include <optional>

#include "core/files/FileLocations.h"
#include "core/files/FileLock.h"

namespace meterwright {

// One process of the user publishes to paired devices at a time: two publishers would each show
// their own pairing code and race to seal every reading. Whoever runs the publisher (the tray
// application, `--pair`) holds an flock on one file in the runtime folder; the kernel lets it go
// when the process ends, however it ends.
class PublisherLock {
 public:
  enum class Outcome {
    taken,
    heldElsewhere,
    // The folder or the file could not be had: nobody can be asked, so the caller goes on alone.
    unavailable,
  };

  // <runtime>/meterwright/publisher.lock (the folder 0700), or beside the user defaults when
  // there is no runtime folder.
  static std::filesystem::path path(const FileLocations& locations);

  // Tries once, without waiting.
  static Outcome take(const std::filesystem::path& file, std::optional<PublisherLock>& held);

  PublisherLock(PublisherLock&&) = default;
  PublisherLock& operator=(PublisherLock&&) = default;

 private:
  explicit PublisherLock(FileLock lock) : lock_(std::move(lock)) {}

  FileLock lock_;
};

}  // namespace meterwright
