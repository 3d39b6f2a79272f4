#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "core/display/ColorToken.h"
#include "core/settings/Environment.h"
#include "desktop/render/Image.h"
#include "desktop/render/TextLine.h"
#include "platform/icons/IconTheme.h"

namespace meterwright {

// Turns an icon reference (a provider's `icon`) into an image:
//   "app:" path     a desktop entry's Icon through the icon theme; an image file as it is; any
//                   other file the theme's icon for its content type;
//   "bundle:" id    the desktop entry of that id in the XDG data folders, as "app:";
//   "file:" path    a PNG, SVG or other picture gdk-pixbuf reads;
//   anything else   a symbol: the built-in drawing of that name, else the icon theme's symbolic
//                   icon of that name, else no image.
// Prefixes are case-sensitive. Pictures of applications and files are 1.18 × the point size
// square; one that cannot be had gives the dashed question mark in the tertiary label colour,
// and only an unknown symbol gives nothing. Symbols take the tint (source-atop); pictures keep
// their colours. Never blocks on a fifo, never opens a device, never decodes without bounds.
class IconLoader {
 public:
  static constexpr double pictureFactor = 1.18;

  // The data folders and icon theme of `environment`, looked up once.
  explicit IconLoader(const Environment& environment);
  // The process environment's, made on first use.
  static const IconLoader& standard();

  // `dark` is the appearance the image is drawn in; it picks the placeholder's colour.
  std::optional<Image> image(std::string_view spec, double pointSize, FontWeight weight,
                             const ColorToken& tint, bool dark = false) const;

  std::optional<Image> app(const std::filesystem::path& path, double pointSize,
                           bool dark = false) const;
  // The dashed question mark at `pointSize`, medium weight, tertiary label colour.
  static std::optional<Image> missing(double pointSize, bool dark = false);
  // `image` drawn into a square of `side` points.
  static Image resized(const Image& image, double side);

 private:
  std::optional<Image> themeIcon(std::string_view name, double side) const;
  std::optional<Image> symbolicIcon(std::string_view name, double pointSize,
                                    const ColorToken& tint) const;

  std::vector<std::filesystem::path> dataFolders_;
  IconTheme theme_;
};

}  // namespace meterwright
