#pragma once

#include <optional>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "core/usage/Snapshot.h"
#include "desktop/app/StatusSurface.h"

// The tray item's texts for a reading: title, text line, accessibility text, tooltip, whether it
// needs attention. The picture is drawn by the caller, which keeps it while nothing it shows
// changed.
namespace meterwright::StatusPresenter {

// Whether the item shows the menu bar image rather than the text line.
bool showsImage(const std::vector<DisplayEntry>& entries, const Config& config);

// Everything but `pixmaps`.
StatusPresentation describe(const std::optional<Snapshot>& snapshot,
                            const std::vector<DisplayEntry>& entries, const Config& config,
                            double manualRefreshAvailableIn, Date now);

// Some shown window is at or below the warning threshold (a threshold below 1 warns of nothing).
bool needsAttention(const std::vector<DisplayEntry>& entries, const Config& config);

}  // namespace meterwright::StatusPresenter
