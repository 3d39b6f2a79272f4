#include "desktop/render/Image.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "desktop/render/Shapes.h"

namespace meterwright {

Image::Image(double width, double height, Drawing drawing)
    : width_(std::isfinite(width) ? std::max(width, 0.0) : 0),
      height_(std::isfinite(height) ? std::max(height, 0.0) : 0),
      drawing_(std::make_shared<const Drawing>(std::move(drawing))) {}

void Image::draw(cairo_t* cr, double x, double y, double opacity) const {
  draw(cr, Rect{x, y, width_, height_}, opacity);
}

void Image::draw(cairo_t* cr, const Rect& into, double opacity) const {
  if (width_ <= 0 || height_ <= 0 || into.width <= 0 || into.height <= 0 || !*drawing_) return;
  cairo_save(cr);
  // The clip first, so the group is only as large as the picture.
  cairo_rectangle(cr, into.x, into.y, into.width, into.height);
  cairo_clip(cr);
  cairo_push_group(cr);
  cairo_translate(cr, into.x, into.y);
  cairo_scale(cr, into.width / width_, into.height / height_);
  (*drawing_)(cr);
  cairo_pop_group_to_source(cr);
  cairo_paint_with_alpha(cr, opacity);
  cairo_restore(cr);
}

Bitmap Image::rasterise(double scale, std::optional<ColorToken> background) const {
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  auto side = [&](double points) {
    double pixels = std::ceil(points * scale - 1e-9);
    return static_cast<int>(std::clamp(pixels, 1.0, double(Bitmap::largestSide)));
  };
  Bitmap bitmap(side(width_), side(height_), scale);
  if (bitmap.empty()) return bitmap;
  cairo_t* cr = cairo_create(bitmap.surface());
  // A fresh transparent surface isolates the drawing as a group would, without a second buffer
  // the size of the picture; the background goes in behind it afterwards.
  if (*drawing_ && width_ > 0 && height_ > 0) (*drawing_)(cr);
  if (background) {
    cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OVER);
    setSource(cr, *background);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(bitmap.surface());
  return bitmap;
}

Bitmap::Bitmap(int pixelWidth, int pixelHeight, double scale) : scale_(scale) {
  pixelWidth = std::clamp(pixelWidth, 1, largestSide);
  pixelHeight = std::clamp(pixelHeight, 1, largestSide);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return;
  }
  cairo_surface_set_device_scale(surface, scale, scale);
  surface_.reset(surface, cairo_surface_destroy);
}

int Bitmap::pixelWidth() const {
  return surface_ ? cairo_image_surface_get_width(surface_.get()) : 0;
}

int Bitmap::pixelHeight() const {
  return surface_ ? cairo_image_surface_get_height(surface_.get()) : 0;
}

Bitmap::Pixel Bitmap::pixel(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return {};
  cairo_surface_flush(surface_.get());
  const unsigned char* row =
      cairo_image_surface_get_data(surface_.get()) +
      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_.get());
  std::uint32_t argb = reinterpret_cast<const std::uint32_t*>(row)[x];
  std::uint8_t alpha = argb >> 24;
  if (alpha == 0) return {};
  auto unpremultiplied = [&](int shift) {
    unsigned value = (argb >> shift) & 0xFF;
    return static_cast<std::uint8_t>(std::min(255u, (value * 255 + alpha / 2) / alpha));
  };
  return {unpremultiplied(16), unpremultiplied(8), unpremultiplied(0), alpha};
}

std::optional<std::string> Bitmap::png() const {
  if (!surface_) return std::nullopt;
  std::string bytes;
  auto append = [](void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  };
  if (cairo_surface_write_to_png_stream(surface_.get(), append, &bytes) != CAIRO_STATUS_SUCCESS) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace meterwright
