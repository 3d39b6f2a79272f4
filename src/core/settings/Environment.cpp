#include "core/settings/Environment.h"

#include <cstdlib>

namespace meterwright {

Environment processEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
  };
}

}  // namespace meterwright
