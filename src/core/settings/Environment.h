#pragma once

#include <functional>
#include <optional>
#include <string>

namespace meterwright {

// Reads one environment variable; nothing when it is unset. Passed in wherever the environment
// decides something (folders, languages, formats), so tests choose its contents.
using Environment = std::function<std::optional<std::string>(const char* name)>;

// The process's own environment.
Environment processEnvironment();

}  // namespace meterwright
