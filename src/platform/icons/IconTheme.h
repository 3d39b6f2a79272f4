#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/Environment.h"

namespace meterwright {

// The desktop's icon theme, looked up by the XDG icon theme rules without a toolkit: the
// configured theme (GTK's settings, else Adwaita), the themes it inherits, then hicolor, in
// $XDG_DATA_HOME/icons, ~/.icons and each data folder's icons; then the pixmaps folders. The
// themes' index files are read once, on construction, and every bound (themes, folders, file
// sizes) is fixed, so a broken or hostile theme costs a few hundred stat calls at most.
class IconTheme {
 public:
  explicit IconTheme(const Environment& environment);

  // The file of icon `name` (PNG, SVG or XPM) closest to `size` pixels, or nothing. Names that
  // could reach outside the theme (a "/", "..", NUL) are never looked up.
  std::optional<std::filesystem::path> find(std::string_view name, int size) const;

  // The themes searched, in order (for diagnostics and tests).
  std::vector<std::string> themeNames() const;

 private:
  struct Directory {
    std::string path;
    int size = 48;
    int minSize = 48;
    int maxSize = 48;
    int threshold = 2;
    enum class Type { fixed, scalable, threshold } type = Type::threshold;
  };
  struct Theme {
    std::string name;
    std::vector<std::filesystem::path> roots;
    std::vector<Directory> directories;
  };

  std::optional<std::filesystem::path> findIn(const Theme& theme, const std::string& name,
                                              int size) const;

  std::vector<Theme> themes_;
  std::vector<std::filesystem::path> pixmapFolders_;
};

}  // namespace meterwright
