#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"

// Where Claude Code's `claude` program is: the usual install places, then PATH.
namespace meterwright::ClaudeExecutable {

// ~/.local/bin/claude, /opt/homebrew/bin/claude, /usr/local/bin/claude, in that order.
std::vector<std::string> candidates(const std::filesystem::path& home);

// The first executable candidate, else `claude` on the environment's PATH.
std::optional<std::string> find(const FileLocations& locations,
                                const EnvironmentBlock& environment);

}  // namespace meterwright::ClaudeExecutable
