#pragma once

#include <optional>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "desktop/render/Image.h"
#include "desktop/render/RenderContext.h"

// The tray's picture of a reading in the "bars" and "detailed" styles: per provider its icon,
// (detailed) its plan badge and window labels, a meter and a figure per window, 22 points high.
namespace meterwright::MenuBarImage {

inline constexpr double height = 22;

// Nothing for no entries. The width is the layout's: the picture is laid out once, here, and
// drawing replays that layout, so what is drawn ends exactly at the right edge. `stale`: the whole
// reading is older than the configured limit (a warning triangle leads).
std::optional<Image> make(const std::vector<DisplayEntry>& entries, const Config& config,
                          bool stale, const RenderContext& context);

}  // namespace meterwright::MenuBarImage
