#pragma once

#include <vector>

#include "desktop/render/Image.h"
#include "platform/tray/TrayMenu.h"

// The tray item's picture in the pixel sizes its hosts ask for.
namespace meterwright::TrayImages {

// `image` drawn `height` pixels high (its width in proportion), one pixmap per height; heights
// below 1 are skipped.
std::vector<TrayPixmap> pixmaps(const Image& image, const std::vector<int>& heights);

// The application icon (its inset frame) at each height, square; heights below 1 are skipped.
std::vector<TrayPixmap> appIcon(const std::vector<int>& heights);

// A bitmap's pixels as a pixmap; empty for an empty bitmap.
TrayPixmap pixmap(const Bitmap& bitmap);

}  // namespace meterwright::TrayImages
