#pragma once

#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "desktop/render/Image.h"
#include "desktop/render/RenderContext.h"

// The Touch Bar's pictures: the Control Strip's small strip and the detail bar's cells. Linux has
// no Touch Bar; they are drawn for the previews and kept so a platform that has one can use them.
// Always light-on-dark, whatever the appearance.
namespace meterwright::TouchBarImage {

inline constexpr double height = 30;
inline constexpr double detailWidth = 420;

// Per provider its icon and one meter (or a dash without data); at least 56 points wide.
Image strip(const std::vector<DisplayEntry>& entries, const Config& config,
            const RenderContext& context);

// One cell per provider: icon, label and plan badge above, its windows (or "unavailable") below.
Image detail(const std::vector<DisplayEntry>& entries, const Config& config, double width,
             const RenderContext& context);

}  // namespace meterwright::TouchBarImage
