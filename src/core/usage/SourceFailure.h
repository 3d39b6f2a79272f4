#pragma once

#include <string>

namespace meterwright {

// Why a reader produced no numbers, in words for the user. Never stored or sent.
struct SourceFailure {
  std::string summary;
  std::string hint;
  // True when only the user can cure it (signing in, say), false for a passing fault.
  bool needsUserAction = false;

  bool operator==(const SourceFailure&) const = default;
};

}  // namespace meterwright
