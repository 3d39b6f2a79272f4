#pragma once

#include <optional>
#include <string>

#include "core/usage/Snapshot.h"
#include "core/usage/SourceFailure.h"

namespace meterwright {

// Anything that can produce a reading: the per-provider readers, the throttling wrapper around
// them and the composite source. `read()` may block; callers keep it off the main loop except in
// command-line jobs.
class SnapshotSource {
 public:
  virtual ~SnapshotSource() = default;
  virtual std::string name() const = 0;
  // Nothing when the source has no reading at all.
  virtual std::optional<Snapshot> read() = 0;
};

// A source that can say why its most recent read produced nothing.
class DiagnosableSource : public SnapshotSource {
 public:
  // Absent when the last read succeeded.
  virtual std::optional<SourceFailure> lastFailure() const = 0;
};

}  // namespace meterwright
