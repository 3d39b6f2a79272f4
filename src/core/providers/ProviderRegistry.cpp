#include "core/providers/ProviderRegistry.h"

#include "core/text/LocalizedModule.h"
#include "core/text/TextCase.h"

namespace meterwright::ProviderRegistry {

namespace {

constexpr const char* genericSymbol = "circle.hexagongrid.fill";
constexpr const char* genericAccent = "#8E8E93";

std::string genericFloorReason() {
  return L("floor.generic",
           "Providers rate limit clients that poll aggressively, and usage numbers change far too "
           "slowly to be worth it.");
}

}  // namespace

ProviderDescriptor claude() {
  return {
      .id = "claude",
      .displayName = "Claude Code",
      .accent = "#D97757",
      .legacyAccents = {},
      .fallbackSymbol = "sparkle",
      // The desktop entry of the Claude desktop application's Linux package.
      .appIconCandidates = {"claude-desktop"},
      .defaultWindows = {300, 10080},
      .enabledByDefault = true,
      .pollFloor = 300,
      .pollDefault = 900,
      .floorReason =
          L("floor.claude",
            "Anthropic answers this endpoint with HTTP 429 when it is asked too often "
            "\u2014 Meterwright was rate limited within minutes at a 30-second poll. Five "
            "minutes is the closest it will go, and a five-hour window barely moves in "
            "that time."),
      .nameHints = {"claude"},
  };
}

ProviderDescriptor codex() {
  return {
      .id = "codex",
      .displayName = "GPT Codex",
      .accent = "#2E6BE6",
      .legacyAccents = {"#10A37F"},
      .fallbackSymbol = "chevron.left.forwardslash.chevron.right",
      // No desktop entry of a Codex or ChatGPT desktop application for Linux is known.
      .appIconCandidates = {},
      .defaultWindows = {10080},
      .enabledByDefault = true,
      .pollFloor = 180,
      .pollDefault = 600,
      .floorReason = L("floor.codex",
                       "Every reading starts a local Codex app-server process. Faster than three "
                       "minutes turns that into constant background work for numbers that change "
                       "over days."),
      .nameHints = {"codex", "chatgpt"},
  };
}

ProviderDescriptor glm() {
  return {
      .id = "glm",
      .displayName = "GLM",
      .accent = "#111114",
      .legacyAccents = {"#4D6BFE"},
      .fallbackSymbol = "cube.fill",
      .appIconCandidates = {},
      .defaultWindows = {},
      .enabledByDefault = false,
      .pollFloor = 300,
      .pollDefault = 900,
      .floorReason = genericFloorReason(),
      .nameHints = {"glm", "z.ai", "zai"},
  };
}

std::vector<ProviderDescriptor> all() {
  return {claude(), codex(), glm()};
}

std::optional<ProviderDescriptor> descriptor(std::string_view id) {
  std::string key = TextCase::lowercased(id);
  if (key == "claude") return claude();
  if (key == "codex") return codex();
  if (key == "glm") return glm();
  return std::nullopt;
}

ProviderDescriptor generic(std::string_view id) {
  return {
      .id = TextCase::lowercased(id),
      .displayName = TextCase::capitalized(id),
      .accent = genericAccent,
      .legacyAccents = {},
      .fallbackSymbol = genericSymbol,
      .appIconCandidates = {},
      .defaultWindows = {},
      .enabledByDefault = false,
      .pollFloor = 300,
      .pollDefault = 900,
      .floorReason = genericFloorReason(),
      .nameHints = {},
  };
}

ProviderDescriptor resolved(std::string_view id) {
  if (auto known = descriptor(id)) return *known;
  return generic(id);
}

std::optional<std::string> inferID(std::string_view name) {
  std::string lowered = TextCase::lowercased(name);
  for (const ProviderDescriptor& entry : all()) {
    for (const std::string& hint : entry.nameHints) {
      if (lowered.find(hint) != std::string::npos) return entry.id;
    }
  }
  return std::nullopt;
}

std::set<std::string> legacySymbols() {
  std::set<std::string> symbols{genericSymbol};
  for (const ProviderDescriptor& entry : all()) symbols.insert(entry.fallbackSymbol);
  return symbols;
}

}  // namespace meterwright::ProviderRegistry
