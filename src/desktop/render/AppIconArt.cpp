#include "desktop/render/AppIconArt.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <numbers>

#include "core/display/ColorToken.h"
#include "core/files/AtomicFile.h"
#include "desktop/render/Shapes.h"

namespace meterwright::AppIconArt {

namespace fs = std::filesystem;

namespace {

constexpr ColorToken backgroundTop{0.16, 0.18, 0.23, 1};
constexpr ColorToken backgroundBottom{0.05, 0.06, 0.08, 1};
constexpr ColorToken fillWarm{1.0, 0.72, 0.36, 1};
constexpr ColorToken fillHot{1.0, 0.42, 0.27, 1};
constexpr ColorToken accent{0.18, 0.83, 0.75, 1};
constexpr ColorToken white{1, 1, 1, 1};

struct IconFile {
  const char* name;
  int pixels;
};

constexpr std::array<IconFile, 10> iconset{{
    {"icon_16x16", 16},
    {"icon_16x16@2x", 32},
    {"icon_32x32", 32},
    {"icon_32x32@2x", 64},
    {"icon_128x128", 128},
    {"icon_128x128@2x", 256},
    {"icon_256x256", 256},
    {"icon_256x256@2x", 512},
    {"icon_512x512", 512},
    {"icon_512x512@2x", 1024},
}};

constexpr std::array<int, 9> hicolorSizes{16, 22, 24, 32, 48, 64, 128, 256, 512};

void addStop(cairo_pattern_t* pattern, double offset, const ColorToken& colour) {
  cairo_pattern_add_color_stop_rgba(pattern, offset, colour.red, colour.green, colour.blue,
                                    colour.alpha);
}

// Fills the current path with a gradient from `from` to `to` along (x0, y0) → (x1, y1).
void fillGradient(cairo_t* cr, double x0, double y0, double x1, double y1, const ColorToken& from,
                  const ColorToken& to) {
  cairo_pattern_t* gradient = cairo_pattern_create_linear(x0, y0, x1, y1);
  addStop(gradient, 0, from);
  addStop(gradient, 1, to);
  cairo_set_source(cr, gradient);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

// One meter: the track, then the fill with a left-to-right gradient. Coordinates bottom-up.
void meter(cairo_t* cr, double left, double bottom, double width, double height, double fillWidth,
           const ColorToken& from, const ColorToken& to) {
  roundedRectangle(cr, {left, bottom, width, height}, height / 2);
  setSource(cr, white, 0.13);
  cairo_fill(cr);
  roundedRectangle(cr, {left, bottom, fillWidth, height}, height / 2);
  fillGradient(cr, left, 0, left + fillWidth, 0, from, to);
}

std::string describe(const fs::path& path, int error) {
  return path.string() + ": " + std::strerror(error);
}

Failure writePng(const Bitmap& bitmap, const fs::path& file) {
  std::optional<std::string> bytes = bitmap.png();
  if (!bytes) return file.string() + ": the picture could not be encoded";
  errno = 0;
  if (!AtomicFile::write(file, *bytes)) return describe(file, errno ? errno : EIO);
  return std::nullopt;
}

Failure createFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return folder.string() + ": " + error.message();
  if (!fs::is_directory(folder, error)) return describe(folder, ENOTDIR);
  return std::nullopt;
}

}  // namespace

void draw(cairo_t* cr, double s, Frame frame) {
  double u = s / 1024;
  bool inset = frame == Frame::inset;
  double m = inset ? 96 * u : 0;
  double d = s - 2 * m;
  double radius = inset ? 0.235 * d : 0;

  cairo_save(cr);
  // The art is specified from the bottom-left corner upward.
  cairo_translate(cr, 0, s);
  cairo_scale(cr, 1, -1);

  roundedRectangle(cr, {m, m, d, d}, radius);
  fillGradient(cr, 0, m + d, 0, m, backgroundTop, backgroundBottom);
  if (inset) {
    roundedRectangle(cr, {m, m, d, d}, radius);
    setSource(cr, white, 0.1);
    cairo_set_line_width(cr, 2 * u);
    cairo_stroke(cr);
  }

  double centreX = m + d / 2, centreY = m + d / 2;
  double w = 0.62 * d, h = 0.155 * d;
  double left = centreX - w / 2, bottom = centreY - 0.15 * h;
  double fillWidth = std::max(0.72 * w, h);
  meter(cr, left, bottom, w, h, fillWidth, fillWarm, fillHot);
  // The knob: the circle inscribed in the fill's last h × h square, 0.28 h in from every side.
  cairo_arc(cr, left + fillWidth - h / 2, bottom + h / 2, h / 2 - 0.28 * h, 0,
            2 * std::numbers::pi);
  setSource(cr, white, 0.92);
  cairo_fill(cr);

  double h2 = 0.095 * d;
  double bottom2 = centreY - 0.15 * h - h2 - 0.055 * d;
  meter(cr, left, bottom2, w, h2, std::max(0.31 * w, h2), accent, accent.blended(white, 0.35));
  cairo_restore(cr);
}

Bitmap bitmap(int pixels, Frame frame) {
  Bitmap result(pixels, pixels, 1);
  if (result.empty()) return result;
  cairo_t* cr = cairo_create(result.surface());
  draw(cr, pixels, frame);
  cairo_destroy(cr);
  cairo_surface_flush(result.surface());
  return result;
}

Failure writeIconset(const fs::path& folder) {
  if (Failure failure = createFolder(folder)) return failure;
  for (const IconFile& file : iconset) {
    Failure failure =
        writePng(bitmap(file.pixels, Frame::inset), folder / (std::string(file.name) + ".png"));
    if (failure) return failure;
  }
  return std::nullopt;
}

Failure write(const fs::path& file, int pixels) {
  if (file.has_parent_path()) {
    if (Failure failure = createFolder(file.parent_path())) return failure;
  }
  return writePng(bitmap(pixels, Frame::fullBleed), file);
}

Failure writeDesktopIcons(const fs::path& hicolor) {
  for (int size : hicolorSizes) {
    std::string name = std::to_string(size) + "x" + std::to_string(size);
    fs::path folder = hicolor / name / "apps";
    if (Failure failure = createFolder(folder)) return failure;
    Failure failure =
        writePng(bitmap(size, Frame::inset), folder / (std::string(iconName) + ".png"));
    if (failure) return failure;
  }
  return std::nullopt;
}

}  // namespace meterwright::AppIconArt
