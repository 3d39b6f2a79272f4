#include "core/providers/ProviderDefaults.h"

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

std::string suggestedIcon(std::string_view id, const PathExists& exists) {
  auto entry = ProviderRegistry::resolved(id);
  for (const std::string& path : entry.appIconCandidates) {
    if (exists(path)) return "app:" + path;
  }
  return entry.fallbackSymbol;
}

}  // namespace meterwright::ProviderDefaults
