#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/display/ColorToken.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace meterwright {

// A rectangle in points, origin top left, y growing downward (cairo's orientation; layouts
// measured from the bottom edge are flipped where a drawing is placed).
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  bool operator==(const Rect&) const = default;
};

class Bitmap;

// A picture of a size in points that draws itself on demand, so it is sharp at whatever scale a
// surface asks for. Copies share the drawing.
class Image {
 public:
  // Draws the picture into (0, 0, width, height) of the context it is given.
  using Drawing = std::function<void(cairo_t*)>;

  Image(double width, double height, Drawing drawing);

  double width() const { return width_; }
  double height() const { return height_; }

  // Draws at (x, y) at its own size, or stretched into `into`, as one layer at `opacity`: its own
  // compositing (a tint's source-atop, a cut-out) never reaches what lies below it.
  void draw(cairo_t* cr, double x, double y, double opacity = 1) const;
  void draw(cairo_t* cr, const Rect& into, double opacity = 1) const;

  // The pixels at `scale` (pixels per point), over `background` when given, else transparent.
  Bitmap rasterise(double scale, std::optional<ColorToken> background = std::nullopt) const;

 private:
  double width_;
  double height_;
  std::shared_ptr<const Drawing> drawing_;
};

// Pixels: a cairo ARGB32 surface (native-endian, premultiplied), with the scale it was drawn at.
class Bitmap {
 public:
  // cairo's limit on either side.
  static constexpr int largestSide = 32767;

  struct Pixel {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;

    bool operator==(const Pixel&) const = default;
  };

  // No pixels.
  Bitmap() = default;
  // Transparent pixels; sides are clamped to 1…largestSide.
  Bitmap(int pixelWidth, int pixelHeight, double scale);

  bool empty() const { return !surface_; }
  int pixelWidth() const;
  int pixelHeight() const;
  double scale() const { return scale_; }
  cairo_surface_t* surface() const { return surface_.get(); }

  // Un-premultiplied; transparent outside the bitmap.
  Pixel pixel(int x, int y) const;
  // PNG bytes; nothing for an empty bitmap or when encoding fails.
  std::optional<std::string> png() const;

 private:
  std::shared_ptr<cairo_surface_t> surface_;
  double scale_ = 1;
};

}  // namespace meterwright
