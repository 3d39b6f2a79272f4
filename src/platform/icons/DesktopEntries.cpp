#include "platform/icons/DesktopEntries.h"

#include <sstream>

#include "core/files/AtomicFile.h"

namespace meterwright::DesktopEntries {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t largestEntry = 256 * 1024;
// Ids are short; a longer one is refused rather than tried against the disk in many forms.
constexpr std::size_t longestId = 255;
constexpr int mostSubFolderForms = 8;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool isRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

std::vector<fs::path> dataFolders(const Environment& environment) {
  std::vector<fs::path> folders;
  auto dataHome = environment("XDG_DATA_HOME");
  if (dataHome && fs::path(*dataHome).is_absolute()) {
    folders.emplace_back(*dataHome);
  } else if (auto home = environment("HOME"); home && fs::path(*home).is_absolute()) {
    folders.push_back(fs::path(*home) / ".local/share");
  }
  auto dataDirs = environment("XDG_DATA_DIRS");
  std::string list = dataDirs && !dataDirs->empty() ? *dataDirs : "/usr/local/share:/usr/share";
  for (const std::string& folder : split(list, ':')) {
    if (fs::path(folder).is_absolute()) folders.emplace_back(folder);
  }
  return folders;
}

std::optional<fs::path> find(std::string_view id, const std::vector<fs::path>& dataFolders) {
  if (id.ends_with(".desktop")) id.remove_suffix(8);
  if (id.empty() || id.size() > longestId || id.find('/') != std::string_view::npos ||
      id.find('\0') != std::string_view::npos || id == "." || id == "..") {
    return std::nullopt;
  }
  std::string name(id);
  for (const fs::path& folder : dataFolders) {
    fs::path applications = folder / "applications";
    fs::path direct = applications / (name + ".desktop");
    if (isRegularFile(direct)) return direct;
    // "kde-konsole" may live at applications/kde/konsole.desktop.
    int forms = 0;
    for (std::size_t dash = name.find('-'); dash != std::string::npos && forms < mostSubFolderForms;
         dash = name.find('-', dash + 1), ++forms) {
      std::string prefix = name.substr(0, dash), rest = name.substr(dash + 1);
      if (prefix.empty() || rest.empty() || prefix == ".." || prefix == ".") continue;
      fs::path nested = applications;
      for (const std::string& part : split(prefix, '-')) {
        if (part.empty() || part == ".." || part == ".") continue;
        nested /= part;
      }
      nested /= rest + ".desktop";
      if (isRegularFile(nested)) return nested;
    }
  }
  return std::nullopt;
}

std::optional<std::string> icon(const fs::path& desktopFile) {
  FileReading::Result file = FileReading::readRegular(desktopFile, largestEntry);
  if (file.outcome != FileReading::Outcome::read) return std::nullopt;
  bool inMainGroup = false;
  std::stringstream stream(file.bytes);
  std::string line;
  while (std::getline(stream, line)) {
    std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#') continue;
    if (text.front() == '[') {
      inMainGroup = text == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    if (trimmed(text.substr(0, equals)) != "Icon") continue;
    std::string value(trimmed(text.substr(equals + 1)));
    if (value.empty()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace meterwright::DesktopEntries
