#pragma once

#include <string>
#include <vector>

#include "core/files/FileLocations.h"

namespace meterwright {

// One entry of the configuration's `providers` list: whether and how one provider is shown.
struct ProviderConfig {
  std::string id;
  std::string label;
  bool enabled = true;
  // Window lengths in minutes to show, in this order; empty shows every ungrouped window.
  std::vector<int> windows;
  // "app:/path", "bundle:id", "file:/path", or a symbol name.
  std::string icon;
  // #RRGGBB
  std::string accent;
  // Requested poll interval; never used below the provider's floor.
  double pollSeconds = 900;

  bool operator==(const ProviderConfig&) const = default;

  // The interval actually used: the request raised to the provider's floor.
  double effectivePollSeconds() const;

  // The entry a configuration gets for `id` when it names nothing else: everything from the
  // catalogue (or the generic entry for an unknown id). The label is the id capitalised.
  static ProviderConfig defaults(const std::string& id,
                                 const PathExists& exists = pathExistsOnDisk);
};

}  // namespace meterwright
