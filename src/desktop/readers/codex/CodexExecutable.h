#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"

// Where the `codex` program is: the usual install places, then PATH.
namespace meterwright::CodexExecutable {

// ~/.local/bin/codex, /opt/homebrew/bin/codex, /usr/local/bin/codex and the desktop apps'
// bundled copies, in that order.
std::vector<std::string> candidates(const std::filesystem::path& home);

// The first executable candidate, else `codex` on the environment's PATH.
std::optional<std::string> find(const FileLocations& locations,
                                const EnvironmentBlock& environment);

}  // namespace meterwright::CodexExecutable
