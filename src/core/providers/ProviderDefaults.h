#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/FileLocations.h"

namespace meterwright::ProviderDefaults {

// Views over the catalogue that the configuration's defaults and migrations are built from.

// id → current accent, for every catalogue entry.
std::map<std::string, std::string> accents();
// id → accents earlier versions used, only for entries that have any.
std::map<std::string, std::set<std::string>> legacyAccents();
std::set<std::string> legacySymbols();
std::string fallbackSymbol(std::string_view id);
std::vector<std::string> iconCandidates(std::string_view id);

// "app:" and the first candidate application that exists on disk, else the fallback symbol. The
// disk is asked at every call, so an application installed later is picked up.
std::string suggestedIcon(std::string_view id, const PathExists& exists = pathExistsOnDisk);

}  // namespace meterwright::ProviderDefaults
