#pragma once

#include <cstddef>
#include <string>

#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairedDevice.h"
#include "core/time/Clock.h"

namespace meterwright {

// One line of the pairing window's device list: the name and when the device was last seen.
struct PairedDeviceRow {
  Uuid id;
  std::string name;
  // "last seen 5m ago", or "not seen yet" without a last-seen date.
  std::string detail;

  bool operator==(const PairedDeviceRow&) const = default;

  static PairedDeviceRow of(const PairedDevice& device, Date now);
  // "Receiving your readings (2)".
  static std::string heading(std::size_t count);
};

}  // namespace meterwright
