#pragma once

#include <string>

namespace meterwright {

// Why a reader produced no numbers: what happened, for the program, and words for the user. The
// program decides by `kind` alone; the texts follow the launch language and are only for people.
// Kept in the shared poll state so every process can say why the last attempt failed; never sent
// to paired devices.
struct SourceFailure {
  enum class Kind {
    // Any fault the provider did not attribute to the request rate.
    failed,
    // The provider refused for asking too often (HTTP 429).
    rateLimited,
  };

  std::string summary;
  std::string hint;
  // True when only the user can cure it (signing in, say), false for a passing fault.
  bool needsUserAction = false;
  Kind kind = Kind::failed;

  bool operator==(const SourceFailure&) const = default;
};

}  // namespace meterwright
