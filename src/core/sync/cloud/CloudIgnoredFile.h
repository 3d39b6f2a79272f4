#pragma once

#include <string>

namespace meterwright {

// A file in the cloud folder that was passed over, and why; kept for the diagnostics.
struct CloudIgnoredFile {
  std::string fileName;
  std::string reason;

  bool operator==(const CloudIgnoredFile&) const = default;
};

}  // namespace meterwright
