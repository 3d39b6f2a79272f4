// Feeds arbitrary icon references, accent colours and file contents through the icon loader and
// the tray image. Input: the accent text, a line break, the icon reference, a line break, then the
// bytes of a file; "@" in the reference stands for that file's path. Nothing may crash, hang or
// grow without bound, and the image must keep a finite width.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/display/DisplayEntry.h"
#include "desktop/render/IconLoader.h"
#include "desktop/render/ImageFile.h"
#include "desktop/render/MenuBarImage.h"

namespace {

std::string_view line(std::string_view& input) {
  auto end = input.find('\n');
  std::string_view text = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return text;
}

// One file per process, removed when it ends.
const std::filesystem::path& scratchFile() {
  struct Scratch {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("fuzz_icon_loader." + std::to_string(getpid()));
    ~Scratch() {
      std::error_code error;
      std::filesystem::remove(path, error);
    }
  };
  static const Scratch scratch;
  return scratch.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace meterwright;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view accent = line(input);
  std::string reference(line(input));
  std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc)
      .write(input.data(), static_cast<std::streamsize>(input.size()));
  for (auto at = reference.find('@'); at != std::string::npos; at = reference.find('@', at)) {
    reference.replace(at, 1, scratchFile().string());
    at += scratchFile().string().size();
  }

  ImageFile::decode(input, 12, 12);

  DisplayEntry entry;
  entry.id = "fuzz";
  entry.name = std::string(accent);
  entry.label = reference;
  entry.plan = std::string(accent);
  entry.accentToken = ColorToken::fromHex(accent).value_or(ColorToken{0.5, 0.5, 0.55, 1});
  entry.iconName = reference;
  entry.hasData = !reference.empty();
  entry.isStale = reference.size() % 2 == 1;
  entry.windows = {{300, double(accent.size()), std::nullopt, std::string(accent)}};
  entry.detailedWindows = entry.windows;
  Config config;
  config.menuBarStyle = size % 2 ? "detailed" : "bars";
  auto image =
      MenuBarImage::make({entry, entry}, config, size % 3 == 0, {.dark = size % 5 == 0, .now = {}});
  if (!image || !std::isfinite(image->width())) __builtin_trap();
  image->rasterise(1);
  return 0;
}
