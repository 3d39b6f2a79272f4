#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/providers/ProviderDescriptor.h"

namespace meterwright::ProviderRegistry {

// The catalogue entries. Built on each call so the floor reason follows the launch language.
ProviderDescriptor claude();
ProviderDescriptor codex();
ProviderDescriptor glm();
// claude, codex, glm: the catalogue order.
std::vector<ProviderDescriptor> all();

// The catalogue entry for `id` ignoring case; nothing for an id the catalogue does not know.
std::optional<ProviderDescriptor> descriptor(std::string_view id);
// The catalogue entry, or the generic entry built for the id.
ProviderDescriptor resolved(std::string_view id);
// The generic entry for an unknown id: conservative floor, neutral colour, no applications.
ProviderDescriptor generic(std::string_view id);

// The first catalogue id (in catalogue order, then hint order) one of whose hints occurs in the
// lower-cased name: "Codex via ChatGPT" → "codex".
std::optional<std::string> inferID(std::string_view name);

// Every entry's fallback symbol plus the generic one: icons a configuration carries only because
// they were the default.
std::set<std::string> legacySymbols();

}  // namespace meterwright::ProviderRegistry
