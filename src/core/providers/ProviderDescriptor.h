#pragma once

#include <set>
#include <string>
#include <vector>

namespace meterwright {

// What the program must not get wrong about one provider: its colours and fallback icons, the
// windows shown by default, and above all how often it may be asked, with the reason shown to
// the user for that floor.
struct ProviderDescriptor {
  std::string id;
  std::string displayName;
  std::string accent;
  // Accents earlier versions used by default; a configuration still carrying one is migrated.
  std::set<std::string> legacyAccents;
  std::string fallbackSymbol;
  // Desktop-entry ids of applications whose icon stands for the provider, in order of preference.
  std::vector<std::string> appIconCandidates;
  std::vector<int> defaultWindows;
  bool enabledByDefault = false;
  // Seconds.
  double pollFloor = 300;
  double pollDefault = 900;
  // Localised when the entry is built.
  std::string floorReason;
  // Lower-case fragments that identify the provider in a free-form name.
  std::vector<std::string> nameHints;

  bool operator==(const ProviderDescriptor&) const = default;
};

}  // namespace meterwright
