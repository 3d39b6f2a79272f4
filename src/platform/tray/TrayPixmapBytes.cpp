#include "platform/tray/TrayPixmapBytes.h"

namespace meterwright::TrayPixmapBytes {

namespace {

std::uint8_t straight(std::uint32_t premultiplied, std::uint32_t alpha) {
  if (alpha == 0) return 0;
  std::uint32_t value = (premultiplied * 255 + alpha / 2) / alpha;
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

}  // namespace

std::vector<std::uint8_t> networkOrder(const TrayPixmap& pixmap) {
  if (pixmap.width <= 0 || pixmap.height <= 0) return {};
  auto count = static_cast<std::size_t>(pixmap.width) * static_cast<std::size_t>(pixmap.height);
  if (pixmap.pixels.size() < count) return {};
  std::vector<std::uint8_t> bytes;
  bytes.reserve(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t pixel = pixmap.pixels[i];
    std::uint32_t alpha = pixel >> 24;
    bytes.push_back(static_cast<std::uint8_t>(alpha));
    bytes.push_back(straight((pixel >> 16) & 0xff, alpha));
    bytes.push_back(straight((pixel >> 8) & 0xff, alpha));
    bytes.push_back(straight(pixel & 0xff, alpha));
  }
  return bytes;
}

}  // namespace meterwright::TrayPixmapBytes
