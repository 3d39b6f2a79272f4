#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/FileLocations.h"
#include "core/settings/Environment.h"

namespace meterwright::ProviderDefaults {

// Views over the catalogue that the configuration's defaults and migrations are built from.

// id → current accent, for every catalogue entry.
std::map<std::string, std::string> accents();
// id → accents earlier versions used, only for entries that have any.
std::map<std::string, std::set<std::string>> legacyAccents();
std::set<std::string> legacySymbols();
std::string fallbackSymbol(std::string_view id);
std::vector<std::string> iconCandidates(std::string_view id);

// "bundle:" and the first candidate application whose desktop entry is installed (in an
// applications folder of the XDG data folders), else the fallback symbol. The disk is asked at
// every call, so an application installed later is picked up.
std::string suggestedIcon(std::string_view id, const PathExists& exists = pathExistsOnDisk);
std::string suggestedIcon(std::string_view id, const PathExists& exists,
                          const Environment& environment);

// The applications folders of the XDG data folders, user's first: $XDG_DATA_HOME (else
// ~/.local/share), then each of $XDG_DATA_DIRS (else /usr/local/share, /usr/share).
std::vector<std::string> applicationFolders(const Environment& environment);

}  // namespace meterwright::ProviderDefaults
