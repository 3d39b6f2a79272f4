#include "desktop/readers/claude/ClaudeExecutable.h"

#include "platform/process/ExecutableSearch.h"

namespace meterwright::ClaudeExecutable {

std::vector<std::string> candidates(const std::filesystem::path& home) {
  std::vector<std::string> list;
  // Without an absolute home the first candidate would be looked up relative to the current folder.
  if (home.is_absolute()) list.push_back((home / ".local/bin/claude").string());
  list.push_back("/opt/homebrew/bin/claude");
  list.push_back("/usr/local/bin/claude");
  return list;
}

std::optional<std::string> find(const FileLocations& locations,
                                const EnvironmentBlock& environment) {
  return ExecutableSearch::find(candidates(locations.home), "claude", environment);
}

}  // namespace meterwright::ClaudeExecutable
