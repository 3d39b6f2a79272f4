#include "desktop/app/TrayImages.h"

#include <cairo.h>

#include <cstring>

#include "desktop/render/AppIconArt.h"

namespace meterwright::TrayImages {

TrayPixmap pixmap(const Bitmap& bitmap) {
  if (bitmap.empty()) return {};
  cairo_surface_t* surface = bitmap.surface();
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  if (!data) return {};
  int stride = cairo_image_surface_get_stride(surface);
  TrayPixmap result{bitmap.pixelWidth(), bitmap.pixelHeight(), {}};
  result.pixels.resize(std::size_t(result.width) * std::size_t(result.height));
  // Rows are padded to the stride; the pixmap's are not.
  for (int y = 0; y < result.height; ++y) {
    std::memcpy(&result.pixels[std::size_t(y) * std::size_t(result.width)], data + y * stride,
                std::size_t(result.width) * sizeof(std::uint32_t));
  }
  return result;
}

std::vector<TrayPixmap> pixmaps(const Image& image, const std::vector<int>& heights) {
  std::vector<TrayPixmap> result;
  if (!(image.height() > 0)) return result;
  for (int height : heights) {
    if (height < 1) continue;
    result.push_back(pixmap(image.rasterise(height / image.height())));
  }
  return result;
}

std::vector<TrayPixmap> appIcon(const std::vector<int>& heights) {
  std::vector<TrayPixmap> result;
  for (int height : heights) {
    if (height >= 1) result.push_back(pixmap(AppIconArt::bitmap(height, AppIconArt::Frame::inset)));
  }
  return result;
}

}  // namespace meterwright::TrayImages
