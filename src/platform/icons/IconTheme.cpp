#include "platform/icons/IconTheme.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <sstream>

#include "core/files/AtomicFile.h"
#include "platform/appearance/GtkSettings.h"
#include "platform/icons/DesktopEntries.h"

namespace meterwright {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t largestIndex = 512 * 1024;
constexpr std::size_t largestSettings = 64 * 1024;
constexpr std::size_t mostThemes = 6;
constexpr std::size_t mostDirectories = 400;
constexpr std::size_t longestName = 255;
constexpr std::array<const char*, 3> extensions{".png", ".svg", ".xpm"};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// An ini-style file as group → key → value; only the groups `wanted` accepts are kept.
using Groups = std::map<std::string, std::map<std::string, std::string>>;

template <typename Wanted>
Groups readIni(const fs::path& path, std::size_t limit, Wanted wanted) {
  Groups groups;
  FileReading::Result file = FileReading::readRegular(path, limit);
  if (file.outcome != FileReading::Outcome::read) return groups;
  std::stringstream stream(file.bytes);
  std::string line, group;
  bool keeping = false;
  while (std::getline(stream, line)) {
    std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#' || text.front() == ';') continue;
    if (text.front() == '[' && text.back() == ']') {
      group = std::string(text.substr(1, text.size() - 2));
      keeping = wanted(group, groups.size());
      continue;
    }
    if (!keeping) continue;
    auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    groups[group][std::string(trimmed(text.substr(0, equals)))] =
        std::string(trimmed(text.substr(equals + 1)));
  }
  return groups;
}

std::vector<std::string> commaList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    std::string_view value = trimmed(item);
    if (!value.empty()) items.emplace_back(value);
  }
  return items;
}

int number(const std::map<std::string, std::string>& group, const char* key, int fallback) {
  auto found = group.find(key);
  if (found == group.end()) return fallback;
  int value = 0;
  auto [end, error] =
      std::from_chars(found->second.data(), found->second.data() + found->second.size(), value);
  if (error != std::errc() || value < 0 || value > 100000) return fallback;
  return value;
}

bool safeName(std::string_view name) {
  return !name.empty() && name.size() <= longestName && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && name != "." && name != "..";
}

bool isRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool isFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// GTK's configured icon theme: gtk-icon-theme-name in the user's GTK 4 or GTK 3 settings, then
// the system's.
std::optional<std::string> configuredTheme(const Environment& environment) {
  for (const fs::path& file : GtkSettings::files(environment)) {
    Groups groups = readIni(file, largestSettings, [](const std::string& group, std::size_t) {
      return group == "Settings";
    });
    auto& settings = groups["Settings"];
    auto name = settings.find("gtk-icon-theme-name");
    if (name != settings.end() && safeName(name->second)) return name->second;
  }
  return std::nullopt;
}

}  // namespace

IconTheme::IconTheme(const Environment& environment) {
  std::vector<fs::path> iconRoots;
  std::vector<fs::path> dataFolders = DesktopEntries::dataFolders(environment);
  if (!dataFolders.empty()) iconRoots.push_back(dataFolders.front() / "icons");
  if (auto home = environment("HOME"); home && fs::path(*home).is_absolute()) {
    iconRoots.push_back(fs::path(*home) / ".icons");
  }
  for (std::size_t i = 1; i < dataFolders.size(); ++i) {
    iconRoots.push_back(dataFolders[i] / "icons");
    pixmapFolders_.push_back(dataFolders[i] / "pixmaps");
  }

  std::vector<std::string> pending{configuredTheme(environment).value_or("Adwaita")};
  std::vector<std::string> seen;
  auto wasSeen = [&](const std::string& name) {
    return std::find(seen.begin(), seen.end(), name) != seen.end();
  };
  while (themes_.size() < mostThemes && seen.size() < 4 * mostThemes) {
    // hicolor comes last, whatever the others inherit.
    if (pending.empty()) {
      if (wasSeen("hicolor")) break;
      pending.push_back("hicolor");
    }
    std::string name = pending.front();
    pending.erase(pending.begin());
    if (!safeName(name) || wasSeen(name)) continue;
    seen.push_back(name);
    Theme theme{name, {}, {}};
    Groups index;
    for (const fs::path& root : iconRoots) {
      if (!isFolder(root / name)) continue;
      theme.roots.push_back(root / name);
      if (index.empty()) {
        // The Directories list names the groups to keep; anything beyond the bound is dropped.
        index =
            readIni(root / name / "index.theme", largestIndex,
                    [](const std::string&, std::size_t count) { return count <= mostDirectories; });
      }
    }
    if (theme.roots.empty()) continue;
    auto& main = index["Icon Theme"];
    for (const std::string& folder : commaList(main["Directories"])) {
      if (theme.directories.size() >= mostDirectories) break;
      auto group = index.find(folder);
      if (group == index.end()) continue;
      Directory directory;
      directory.path = folder;
      directory.size = number(group->second, "Size", 48);
      directory.minSize = number(group->second, "MinSize", directory.size);
      directory.maxSize = number(group->second, "MaxSize", directory.size);
      directory.threshold = number(group->second, "Threshold", 2);
      const std::string& type = group->second["Type"];
      directory.type = type == "Fixed"      ? Directory::Type::fixed
                       : type == "Scalable" ? Directory::Type::scalable
                                            : Directory::Type::threshold;
      theme.directories.push_back(directory);
    }
    themes_.push_back(std::move(theme));
    for (const std::string& parent : commaList(main["Inherits"])) {
      if (parent != "hicolor") pending.push_back(parent);
    }
  }
}

std::vector<std::string> IconTheme::themeNames() const {
  std::vector<std::string> names;
  for (const Theme& theme : themes_) names.push_back(theme.name);
  return names;
}

std::optional<fs::path> IconTheme::findIn(const Theme& theme, const std::string& name,
                                          int size) const {
  std::optional<fs::path> closest;
  int closestDistance = INT_MAX;
  for (const Directory& directory : theme.directories) {
    int distance = 0;
    switch (directory.type) {
      case Directory::Type::fixed:
        distance = std::abs(directory.size - size);
        break;
      case Directory::Type::scalable:
        distance = size < directory.minSize   ? directory.minSize - size
                   : size > directory.maxSize ? size - directory.maxSize
                                              : 0;
        break;
      case Directory::Type::threshold:
        distance = size < directory.size - directory.threshold
                       ? directory.size - directory.threshold - size
                   : size > directory.size + directory.threshold
                       ? size - directory.size - directory.threshold
                       : 0;
        break;
    }
    if (distance >= closestDistance) continue;
    for (const fs::path& root : theme.roots) {
      for (const char* extension : extensions) {
        fs::path file = root / directory.path / (name + extension);
        if (!isRegularFile(file)) continue;
        if (distance == 0) return file;
        closest = file;
        closestDistance = distance;
        break;
      }
      if (closestDistance == distance) break;
    }
  }
  return closest;
}

std::optional<fs::path> IconTheme::find(std::string_view name, int size) const {
  if (!safeName(name)) return std::nullopt;
  std::string key(name);
  for (const Theme& theme : themes_) {
    if (auto file = findIn(theme, key, size)) return file;
  }
  for (const fs::path& folder : pixmapFolders_) {
    for (const char* extension : extensions) {
      fs::path file = folder / (key + extension);
      if (isRegularFile(file)) return file;
    }
  }
  return std::nullopt;
}

}  // namespace meterwright
