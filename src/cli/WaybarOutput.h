#pragma once

#include <optional>
#include <string>

#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"

// `--waybar`: the reading as the JSON object a Waybar custom module takes from its command, on
// one line: "text" (the --print line), "tooltip" (one line per provider and window), "class" and
// "percentage". Polybar and i3blocks users take the plain line instead.
namespace meterwright::WaybarOutput {

// "none" without a reading; "stale" when the reading is older than staleAfterMinutes; otherwise
// the text line's colour: "critical" (red), "warning" (orange) or "normal".
std::string cssClass(const std::optional<Snapshot>& snapshot, const Config& config, Date now);

// The object, without a line break. "percentage" is the smallest remaining share of any window
// shown, whole; it is left out when no window is shown.
std::string line(const std::optional<Snapshot>& snapshot, const Config& config, Date now);

}  // namespace meterwright::WaybarOutput
