#include "desktop/render/ImageFile.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "core/files/AtomicFile.h"

namespace meterwright::ImageFile {

namespace {

using Surface = std::shared_ptr<cairo_surface_t>;

Surface adopt(cairo_surface_t* surface) {
  if (!surface) return nullptr;
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return Surface(surface, cairo_surface_destroy);
}

bool startsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

// The gdk-pixbuf format of the bytes, from their signature, among the common raster formats
// whose loaders announce the size before they allocate the picture; nothing for anything else
// (rarer formats, and gdk-pixbuf's own SVG loader, never see the bytes).
const char* rasterFormat(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (startsWith(bytes, "\x89PNG\r\n\x1A\n"sv)) return "png";
  if (startsWith(bytes, "\xFF\xD8\xFF"sv)) return "jpeg";
  if (startsWith(bytes, "GIF87a"sv) || startsWith(bytes, "GIF89a"sv)) return "gif";
  if (startsWith(bytes, "BM"sv)) return "bmp";
  if (startsWith(bytes, "\0\0\1\0"sv)) return "ico";
  if (bytes.size() >= 12 && startsWith(bytes, "RIFF"sv) && bytes.substr(8, 4) == "WEBP"sv) {
    return "webp";
  }
  return nullptr;
}

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The BMP and ICO loaders grow their header buffers to sizes and offsets read from the file
// before they announce the picture's size, and GLib aborts when such an allocation fails; so
// those fields must lie inside the file. Sound files always pass.
bool headerFitsFile(std::string_view format, std::string_view bytes) {
  if (format == "bmp") {
    constexpr std::array<std::uint32_t, 8> infoSizes{12, 16, 40, 52, 56, 64, 108, 124};
    if (bytes.size() < 18) return false;
    std::uint32_t info = littleEndian(bytes, 14, 4), pixelsAt = littleEndian(bytes, 10, 4);
    return std::find(infoSizes.begin(), infoSizes.end(), info) != infoSizes.end() &&
           14 + info <= bytes.size() && pixelsAt <= bytes.size();
  }
  if (format == "ico") {
    constexpr std::size_t entrySize = 16, infoSize = 40;
    if (bytes.size() < 6) return false;
    std::size_t count = littleEndian(bytes, 4, 2), directoryEnd = 6 + count * entrySize;
    if (count == 0 || directoryEnd + infoSize > bytes.size()) return false;
    for (std::size_t entry = 6; entry < directoryEnd; entry += entrySize) {
      std::uint32_t offset = littleEndian(bytes, entry + 12, 4);
      if (offset < directoryEnd || offset > bytes.size() - infoSize) return false;
    }
  }
  return true;
}

struct LoaderState {
  bool refused = false;
};

void sizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* state = static_cast<LoaderState*>(data);
  if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) {
    state->refused = true;
    // A size of 0 makes the loader stop before it allocates the picture.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
  }
}

// Premultiplied native-endian ARGB from the pixbuf's RGB(A) bytes.
Surface surfaceOf(GdkPixbuf* pixbuf) {
  int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || (channels != 3 && channels != 4) ||
      width <= 0 || height <= 0 || width > largestSide || height > largestSide) {
    return nullptr;
  }
  Surface surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (!surface) return nullptr;
  const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
  int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
  unsigned char* target = cairo_image_surface_get_data(surface.get());
  int targetStride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    const guchar* in = source + static_cast<std::ptrdiff_t>(y) * sourceStride;
    auto* out =
        reinterpret_cast<std::uint32_t*>(target + static_cast<std::ptrdiff_t>(y) * targetStride);
    for (int x = 0; x < width; ++x, in += channels) {
      unsigned a = alpha ? in[3] : 255;
      auto premultiplied = [&](unsigned value) { return (value * a + 127) / 255; };
      out[x] = (a << 24) | (premultiplied(in[0]) << 16) | (premultiplied(in[1]) << 8) |
               premultiplied(in[2]);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

Surface decodeRaster(std::string_view bytes) {
  const char* format = rasterFormat(bytes);
  if (!format || !headerFitsFile(format, bytes)) return nullptr;
  // The type named, so the loader cannot pick a module of its own from the contents.
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(format, nullptr);
  if (!loader) return nullptr;
  LoaderState state;
  g_signal_connect(loader, "size-prepared", G_CALLBACK(sizePrepared), &state);
  constexpr std::size_t chunk = 64 * 1024;
  bool failed = false;
  for (std::size_t offset = 0; offset < bytes.size() && !state.refused && !failed;
       offset += chunk) {
    std::size_t size = std::min(chunk, bytes.size() - offset);
    failed = !gdk_pixbuf_loader_write(
        loader, reinterpret_cast<const guchar*>(bytes.data()) + offset, size, nullptr);
  }
  // Closing reports an error for a truncated picture; it is refused like any other bad one.
  failed = !gdk_pixbuf_loader_close(loader, nullptr) || failed;
  Surface surface;
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  if (!failed && !state.refused && pixbuf) surface = surfaceOf(pixbuf);
  g_object_unref(loader);
  return surface;
}

// The SVG drawn into a `pixels` square: librsvg keeps its aspect ratio inside it.
Surface decodeSvg(std::string_view bytes, int pixelWidth, int pixelHeight) {
  GInputStream* stream =
      g_memory_input_stream_new_from_data(bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
  // No base file: references to other files are refused, so an icon cannot read /dev/zero.
  RsvgHandle* handle =
      rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, nullptr);
  g_object_unref(stream);
  if (!handle) return nullptr;
  Surface surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  bool drawn = false;
  if (surface) {
    cairo_t* cr = cairo_create(surface.get());
    RsvgRectangle viewport{0, 0, double(pixelWidth), double(pixelHeight)};
    drawn = rsvg_handle_render_document(handle, cr, &viewport, nullptr);
    cairo_destroy(cr);
  }
  g_object_unref(handle);
  return drawn ? surface : nullptr;
}

// The pixels scaled once to what the image keeps, so drawing it later costs one small paint.
Surface scaled(const Surface& source, int pixelWidth, int pixelHeight) {
  int width = cairo_image_surface_get_width(source.get());
  int height = cairo_image_surface_get_height(source.get());
  if (width == pixelWidth && height == pixelHeight) return source;
  Surface target = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  if (!target) return nullptr;
  cairo_t* cr = cairo_create(target.get());
  cairo_scale(cr, double(pixelWidth) / width, double(pixelHeight) / height);
  cairo_set_source_surface(cr, source.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_destroy(cr);
  return target;
}

Image imageOf(Surface pixels, double width, double height) {
  return Image(width, height, [pixels, width, height](cairo_t* cr) {
    cairo_save(cr);
    cairo_scale(cr, width / cairo_image_surface_get_width(pixels.get()),
                height / cairo_image_surface_get_height(pixels.get()));
    cairo_set_source_surface(cr, pixels.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
  });
}

}  // namespace

bool looksLikeSvg(std::string_view bytes) {
  if (startsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
  while (!bytes.empty() && (bytes.front() == ' ' || bytes.front() == '\t' ||
                            bytes.front() == '\n' || bytes.front() == '\r')) {
    bytes.remove_prefix(1);
  }
  if (!startsWith(bytes, "<")) return false;
  // An SVG document names its root element early, after at most a declaration and comments.
  return bytes.substr(0, 4096).find("<svg") != std::string_view::npos;
}

std::optional<Image> decode(std::string_view bytes, double width, double height) {
  if (bytes.empty() || bytes.size() > largestFile || !(width > 0) || !(height > 0) ||
      !std::isfinite(width) || !std::isfinite(height)) {
    return std::nullopt;
  }
  auto side = [](double points) {
    return static_cast<int>(std::clamp(std::ceil(points * keptScale), 1.0, double(largestSide)));
  };
  int pixelWidth = side(width), pixelHeight = side(height);
  Surface pixels;
  if (looksLikeSvg(bytes)) {
    pixels = decodeSvg(bytes, pixelWidth, pixelHeight);
  } else {
    // Compressed SVG (.svgz) is no raster format either: its unpacked size is unknown until
    // unpacked, so it is refused with every other unknown signature.
    Surface raster = decodeRaster(bytes);
    if (raster) pixels = scaled(raster, pixelWidth, pixelHeight);
  }
  if (!pixels) return std::nullopt;
  return imageOf(pixels, width, height);
}

std::optional<Image> load(const std::filesystem::path& path, double width, double height) {
  FileReading::Result file = FileReading::readRegular(path, largestFile);
  if (file.outcome != FileReading::Outcome::read) return std::nullopt;
  return decode(file.bytes, width, height);
}

}  // namespace meterwright::ImageFile
