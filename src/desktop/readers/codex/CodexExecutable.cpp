#include "desktop/readers/codex/CodexExecutable.h"

#include "platform/process/ExecutableSearch.h"

namespace meterwright::CodexExecutable {

std::vector<std::string> candidates(const std::filesystem::path& home) {
  std::vector<std::string> list;
  // Without an absolute home the first candidate would be looked up relative to the current folder.
  if (home.is_absolute()) list.push_back((home / ".local/bin/codex").string());
  list.push_back("/opt/homebrew/bin/codex");
  list.push_back("/usr/local/bin/codex");
  list.push_back("/Applications/Codex.app/Contents/Resources/codex");
  list.push_back("/Applications/ChatGPT.app/Contents/Resources/codex");
  return list;
}

std::optional<std::string> find(const FileLocations& locations,
                                const EnvironmentBlock& environment) {
  return ExecutableSearch::find(candidates(locations.home), "codex", environment);
}

}  // namespace meterwright::CodexExecutable
