#include "desktop/render/IconLoader.h"

#include <sys/stat.h>

#include <cmath>

#include "core/files/AtomicFile.h"
#include "desktop/render/ImageFile.h"
#include "desktop/render/Shapes.h"
#include "desktop/render/Symbols.h"
#include "desktop/render/SystemColours.h"
#include "platform/icons/ContentTypes.h"
#include "platform/icons/DesktopEntries.h"

namespace meterwright {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view appPrefix = "app:";
constexpr std::string_view bundlePrefix = "bundle:";
constexpr std::string_view filePrefix = "file:";
// The icon a desktop entry gets when its own cannot be found.
constexpr std::string_view genericApplication = "application-x-executable";
// Enough of a file for the MIME database's magic rules.
constexpr std::size_t headSize = 4096;

bool usableSize(double pointSize) {
  return pointSize > 0 && std::isfinite(pointSize) && pointSize < 4096;
}

int pixelSize(double side) {
  return static_cast<int>(std::ceil(side * ImageFile::keptScale));
}

}  // namespace

IconLoader::IconLoader(const Environment& environment)
    : dataFolders_(DesktopEntries::dataFolders(environment)), theme_(environment) {}

const IconLoader& IconLoader::standard() {
  static const IconLoader loader(processEnvironment());
  return loader;
}

std::optional<Image> IconLoader::image(std::string_view spec, double pointSize, FontWeight weight,
                                       const ColorToken& tint, bool dark) const {
  if (!usableSize(pointSize)) return std::nullopt;
  if (spec.starts_with(appPrefix)) {
    return app(fs::path(std::string(spec.substr(appPrefix.size()))), pointSize, dark);
  }
  if (spec.starts_with(bundlePrefix)) {
    auto entry = DesktopEntries::find(spec.substr(bundlePrefix.size()), dataFolders_);
    if (!entry) return missing(pointSize, dark);
    return app(*entry, pointSize, dark);
  }
  if (spec.starts_with(filePrefix)) {
    double side = pointSize * pictureFactor;
    auto picture =
        ImageFile::load(fs::path(std::string(spec.substr(filePrefix.size()))), side, side);
    if (!picture) return missing(pointSize, dark);
    return picture;
  }
  if (auto symbol = Symbols::image(spec, pointSize, weight, tint)) return symbol;
  return symbolicIcon(spec, pointSize, tint);
}

std::optional<Image> IconLoader::app(const fs::path& path, double pointSize, bool dark) const {
  if (!usableSize(pointSize)) return std::nullopt;
  double side = pointSize * pictureFactor;
  struct stat info {};
  // Folders, fifos, devices, sockets, dangling links and link loops have no picture here.
  if (!path.is_absolute() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return missing(pointSize, dark);
  }
  if (path.extension() == ".desktop") {
    std::optional<Image> picture;
    if (auto icon = DesktopEntries::icon(path)) {
      picture = fs::path(*icon).is_absolute() ? ImageFile::load(*icon, side, side)
                                              : themeIcon(*icon, side);
    }
    if (!picture) picture = themeIcon(genericApplication, side);
    if (!picture) return missing(pointSize, dark);
    return picture;
  }
  FileReading::Result file = FileReading::readRegular(path, ImageFile::largestFile);
  if (file.outcome != FileReading::Outcome::read) return missing(pointSize, dark);
  std::string_view head = std::string_view(file.bytes).substr(0, headSize);
  ContentTypes::Guess type = ContentTypes::guess(path.filename().string(), head);
  if (type.isImage() || ImageFile::looksLikeSvg(head)) {
    // A picture is its own icon; a damaged one is missing, not a generic image icon.
    auto picture = ImageFile::decode(file.bytes, side, side);
    if (!picture) return missing(pointSize, dark);
    return picture;
  }
  for (const std::string& name : type.iconNames) {
    if (auto picture = themeIcon(name, side)) return picture;
  }
  return missing(pointSize, dark);
}

std::optional<Image> IconLoader::missing(double pointSize, bool dark) {
  return Symbols::image("questionmark.square.dashed", pointSize, FontWeight::medium,
                        SystemColours::tertiaryLabel(dark));
}

Image IconLoader::resized(const Image& image, double side) {
  return Image(side, side, [image, side](cairo_t* cr) { image.draw(cr, Rect{0, 0, side, side}); });
}

std::optional<Image> IconLoader::themeIcon(std::string_view name, double side) const {
  auto file = theme_.find(name, pixelSize(side));
  if (!file) return std::nullopt;
  return ImageFile::load(*file, side, side);
}

std::optional<Image> IconLoader::symbolicIcon(std::string_view name, double pointSize,
                                              const ColorToken& tint) const {
  std::string symbolic(name);
  if (!name.ends_with("-symbolic")) symbolic += "-symbolic";
  auto file = theme_.find(symbolic, pixelSize(pointSize));
  if (!file) return std::nullopt;
  auto shape = ImageFile::load(*file, pointSize, pointSize);
  if (!shape) return std::nullopt;
  return Symbols::tinted(*shape, tint);
}

}  // namespace meterwright
