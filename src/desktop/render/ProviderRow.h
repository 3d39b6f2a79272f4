#pragma once

#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"
#include "core/usage/UsageWindow.h"
#include "desktop/render/Image.h"
#include "desktop/render/RenderContext.h"

// One provider's row of the tray's popup: a heading (icon, name, plan and stale pills), then per
// window of `detailedWindows` a block with label, meter, value and caption, under a heading for
// each new group. Drawn at any width; the popup matches it to its own.
namespace meterwright::ProviderRow {

inline constexpr double defaultWidth = 360;

// Windows that open a new group: grouped ones whose group differs from the previous window's (a
// window without a group resets it).
int headingCount(const std::vector<UsageWindow>& windows);

// max(windows drawn, 1) × 36 + 24 + 18 × headings + 3.
double height(const DisplayEntry& entry);

// The row `width` points wide, in the theme of `context.dark`, on a transparent background.
Image image(const DisplayEntry& entry, const Config& config, double width,
            const RenderContext& context);

// What a screen reader says for the row: name, plan, each shown window's use and reset, staleness.
std::string accessibilityLabel(const DisplayEntry& entry, Date now);

}  // namespace meterwright::ProviderRow
