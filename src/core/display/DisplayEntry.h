#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/display/ColorToken.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/UsageWindow.h"

namespace meterwright {

// One provider as every surface draws it (menu bar image, menu rows, Touch Bar images, previews):
// the reading's numbers joined with the user's label, accent and icon for it.
struct DisplayEntry {
  std::string id;
  std::string name;
  std::string label;
  std::optional<std::string> plan;
  ColorToken accentToken;
  // An icon reference (IconLoader).
  std::string iconName;
  bool isStale = false;
  bool hasData = false;
  // The configured ungrouped windows, then (detailedWindows) every grouped one after them.
  std::vector<UsageWindow> windows;
  std::vector<UsageWindow> detailedWindows;

  bool operator==(const DisplayEntry&) const = default;

  // One entry per enabled provider of `config` that the reading contains, in configuration
  // order; none without a reading.
  static std::vector<DisplayEntry> build(const std::optional<Snapshot>& snapshot,
                                         const Config& config, Date now);
};

}  // namespace meterwright
