#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "desktop/render/Image.h"

// The application icon, drawn in code: two meters (warm over teal) on a dark square.
namespace meterwright::AppIconArt {

// Inset: the rounded, margined shape of a desktop application icon. Full bleed: the whole
// square, for a packager that applies its own mask.
enum class Frame { inset, fullBleed };

// The name the desktop knows the application's icon by (hicolor apps/<name>.png).
inline constexpr const char* iconName = "dev.velmora.meterwright";

// Draws the icon filling a square of `side` at the origin of `cr`.
void draw(cairo_t* cr, double side, Frame frame);

// The icon as `pixels` × `pixels`, one pixel per point.
Bitmap bitmap(int pixels, Frame frame);

// A failure's description, or nothing when everything was written.
using Failure = std::optional<std::string>;

// The ten files of an icon set (icon_16x16.png … icon_512x512@2x.png, inset frame) in `folder`,
// which is created with its parents.
Failure writeIconset(const std::filesystem::path& folder);

// One full-bleed PNG of `pixels` square at `file`; its folder is created with its parents.
Failure write(const std::filesystem::path& file, int pixels);

// The desktop's application icon: <hicolor>/<n>x<n>/apps/dev.velmora.meterwright.png for the
// hicolor sizes (16 … 512), inset frame. `hicolor` is an icons/hicolor folder, such as
// $XDG_DATA_HOME/icons/hicolor.
Failure writeDesktopIcons(const std::filesystem::path& hicolor);

}  // namespace meterwright::AppIconArt
