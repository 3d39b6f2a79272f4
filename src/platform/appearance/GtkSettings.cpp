#include "platform/appearance/GtkSettings.h"

namespace meterwright::GtkSettings {

namespace fs = std::filesystem;

std::vector<fs::path> files(const Environment& environment) {
  std::vector<fs::path> folders;
  if (auto config = environment("XDG_CONFIG_HOME"); config && fs::path(*config).is_absolute()) {
    folders.emplace_back(*config);
  } else if (auto home = environment("HOME"); home && fs::path(*home).is_absolute()) {
    folders.push_back(fs::path(*home) / ".config");
  }
  folders.emplace_back("/etc/xdg");
  std::vector<fs::path> files;
  for (const fs::path& folder : folders) {
    for (const char* toolkit : {"gtk-4.0", "gtk-3.0"})
      files.push_back(folder / toolkit / "settings.ini");
  }
  return files;
}

}  // namespace meterwright::GtkSettings
