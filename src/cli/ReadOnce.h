#pragma once

#include <memory>
#include <optional>

#include "cli/JobContext.h"
#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"

namespace meterwright {

class CompositeSource;

// One reading as a command-line run takes it: the configuration loaded again, Claude always read
// directly, the secret store allowed to prompt only with --allow-keychain. The floors in the
// shared poll state decide which providers are really asked.
struct ReadOnce {
  Config config;
  std::optional<Snapshot> snapshot;
  Date now;
  // What the reading came from, for what its sources say of themselves.
  std::shared_ptr<CompositeSource> source;

  static ReadOnce take(Jobs::Context& context);
};

}  // namespace meterwright
