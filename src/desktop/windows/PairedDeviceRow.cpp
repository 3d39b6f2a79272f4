#include "desktop/windows/PairedDeviceRow.h"

#include "core/format/Format.h"
#include "desktop/text/DesktopText.h"

namespace meterwright {

PairedDeviceRow PairedDeviceRow::of(const PairedDevice& device, Date now) {
  std::string detail = device.lastSeenAt
                           ? desktop::L("pair.devices.lastSeen", "last seen %@ ago",
                                        Format::relative(secondsBetween(*device.lastSeenAt, now)))
                           : desktop::L("pair.devices.neverSeen", "not seen yet");
  return {device.id, device.name, std::move(detail)};
}

std::string PairedDeviceRow::heading(std::size_t count) {
  return desktop::L("pair.devices.heading", "Receiving your readings (%d)", count);
}

}  // namespace meterwright
