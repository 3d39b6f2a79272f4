#pragma once

#include <optional>
#include <string>

#include "core/encoding/Uuid.h"
#include "core/time/Clock.h"

namespace meterwright {

// A device this Mac has paired with, as the pairing window lists it. `id` is the device's own
// pairing identity and never changes; the rest is refreshed as the device reports in.
struct PairedDevice {
  Uuid id;
  std::string name;
  // The platform word the device sent with its pair request or hello.
  std::string platform;
  Date pairedAt;
  std::optional<Date> lastSeenAt;

  bool operator==(const PairedDevice&) const = default;
};

}  // namespace meterwright
