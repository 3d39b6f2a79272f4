#pragma once

#include <cstdint>
#include <vector>

#include "platform/tray/TrayMenu.h"

// The bytes of one IconPixmap entry as StatusNotifierItem hosts read them: A,R,G,B per pixel,
// row by row. Hosts take these as straight (not premultiplied) alpha, as Qt's ARGB32 and
// GdkPixbuf do, so cairo's premultiplied colours are divided back out.
namespace meterwright::TrayPixmapBytes {

// Empty for a pixmap whose pixels do not fill its width and height.
std::vector<std::uint8_t> networkOrder(const TrayPixmap& pixmap);

}  // namespace meterwright::TrayPixmapBytes
