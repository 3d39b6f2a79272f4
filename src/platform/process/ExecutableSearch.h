#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

// Where the outside programs (`codex`, `claude`) live: a reader's fixed list first, then PATH, as
// a shell would find them.
namespace meterwright::ExecutableSearch {

// The first candidate that is an executable regular file, else `name` in each folder of the
// environment's PATH in order (empty entries and relative folders are skipped: a reader must not
// start a program from whatever folder it happens to run in). Nothing when neither finds one.
std::optional<std::string> find(const std::vector<std::string>& candidates, const std::string& name,
                                const EnvironmentBlock& environment);

// Whether `path` names a regular file (after links) that this process may execute.
bool isExecutableFile(const std::string& path);

}  // namespace meterwright::ExecutableSearch
