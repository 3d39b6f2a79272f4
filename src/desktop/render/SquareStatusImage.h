#pragma once

#include <optional>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "desktop/render/Image.h"
#include "desktop/render/RenderContext.h"

// The tray's picture for hosts that fit every icon into a square (xfce4-panel, KDE, GNOME's
// AppIndicator extension, LXQt), where the wide picture would shrink to a third of its height:
// one ring for the scarcest window of all providers, filled as far as it is used, in the colour
// its meter has, around that window's figure in the configured metric (without the % sign).
namespace meterwright::SquareStatusImage {

inline constexpr double side = 22;

// Nothing for no entries. Providers without data count only when none has data: the ring is
// then an empty track around a dash. `stale`: the whole reading is older than the configured
// limit (the figure is dimmed).
std::optional<Image> make(const std::vector<DisplayEntry>& entries, const Config& config,
                          bool stale, const RenderContext& context);

}  // namespace meterwright::SquareStatusImage
