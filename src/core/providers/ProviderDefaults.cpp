#include "core/providers/ProviderDefaults.h"

#include <algorithm>

#include "core/providers/ProviderRegistry.h"

namespace meterwright::ProviderDefaults {

std::map<std::string, std::string> accents() {
  std::map<std::string, std::string> result;
  for (const auto& entry : ProviderRegistry::all()) result[entry.id] = entry.accent;
  return result;
}

std::map<std::string, std::set<std::string>> legacyAccents() {
  std::map<std::string, std::set<std::string>> result;
  for (const auto& entry : ProviderRegistry::all()) {
    if (!entry.legacyAccents.empty()) result[entry.id] = entry.legacyAccents;
  }
  return result;
}

std::set<std::string> legacySymbols() {
  return ProviderRegistry::legacySymbols();
}

std::string fallbackSymbol(std::string_view id) {
  return ProviderRegistry::resolved(id).fallbackSymbol;
}

std::vector<std::string> iconCandidates(std::string_view id) {
  return ProviderRegistry::resolved(id).appIconCandidates;
}

std::vector<std::string> applicationFolders(const Environment& environment) {
  std::vector<std::string> folders;
  auto absolute = [](const std::string& path) { return path.starts_with('/'); };
  if (auto dataHome = environment("XDG_DATA_HOME"); dataHome && absolute(*dataHome)) {
    folders.push_back(*dataHome + "/applications");
  } else if (auto home = environment("HOME"); home && absolute(*home)) {
    folders.push_back(*home + "/.local/share/applications");
  }
  auto dataDirs = environment("XDG_DATA_DIRS");
  std::string list = dataDirs && !dataDirs->empty() ? *dataDirs : "/usr/local/share:/usr/share";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = std::min(list.find(':', start), list.size());
    std::string folder = list.substr(start, end - start);
    if (absolute(folder)) folders.push_back(folder + "/applications");
    start = end + 1;
  }
  return folders;
}

std::string suggestedIcon(std::string_view id, const PathExists& exists) {
  return suggestedIcon(id, exists, processEnvironment());
}

std::string suggestedIcon(std::string_view id, const PathExists& exists,
                          const Environment& environment) {
  auto entry = ProviderRegistry::resolved(id);
  if (entry.appIconCandidates.empty()) return entry.fallbackSymbol;
  std::vector<std::string> folders = applicationFolders(environment);
  for (const std::string& desktopId : entry.appIconCandidates) {
    for (const std::string& folder : folders) {
      if (exists(folder + "/" + desktopId + ".desktop")) return "bundle:" + desktopId;
    }
  }
  return entry.fallbackSymbol;
}

}  // namespace meterwright::ProviderDefaults
