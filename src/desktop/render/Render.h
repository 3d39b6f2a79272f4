#pragma once

#include <optional>
#include <string>

#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "desktop/render/MenuBarTitle.h"

namespace meterwright {

namespace Render {

// The line for a reading (or for none) under a configuration, as of `now`: each enabled provider
// in configuration order with its windows, joined by the configured separator; red or orange when
// the scarcest window is at or below the warning threshold (half of it for red).
MenuBarTitle title(const std::optional<Snapshot>& snapshot, const Config& config, Date now);

// Meter text for a share used: `segments` cells, the used share filled ("▰▰▱▱▱").
std::string meter(double usedPercent, int segments);

}  // namespace Render

}  // namespace meterwright
