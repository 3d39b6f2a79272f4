#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"

// What `--json` prints: the reading narrowed to the enabled providers of the configuration, in its
// order, each with the windows the configuration shows plus every grouped window. Percentages are
// whole numbers and every reset time also comes as seconds from `now`, so a status-line script
// needs no date arithmetic.
namespace meterwright::FilteredSnapshot {

nlohmann::json build(const Snapshot& snapshot, const Config& config, Date now);

// build() pretty-printed with two-space indents, keys sorted at every level and "/" written as
// "\/" (as the configuration file is), without a final line break. Nothing only when a text in the
// reading is not valid UTF-8.
std::optional<std::string> text(const Snapshot& snapshot, const Config& config, Date now);

}  // namespace meterwright::FilteredSnapshot
