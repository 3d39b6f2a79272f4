#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/time/Clock.h"
#include "core/usage/ProviderSnapshot.h"

namespace meterwright {

// A complete reading across providers, as one source assembled it.
struct Snapshot {
  Date generatedAt;
  std::vector<ProviderSnapshot> providers;
  std::optional<std::string> sourceName;
  // A short word naming the route of the reading ("direct" for the composite source).
  std::string sourcePath;

  bool operator==(const Snapshot&) const = default;

  // The first provider whose id equals `id` ignoring case.
  const ProviderSnapshot* provider(std::string_view id) const;
};

}  // namespace meterwright
