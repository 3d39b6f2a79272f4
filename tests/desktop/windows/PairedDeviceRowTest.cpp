#include <gtest/gtest.h>

#include "desktop/windows/PairedDeviceRow.h"

namespace meterwright {
namespace {

TEST(PairedDeviceRow, SaysHowLongAgoTheDeviceWasLastSeen) {
  Date now = dateFromUnixSeconds(1'700'000'000);
  Uuid id = Uuid::random();
  struct Case {
    std::optional<double> lastSeenSecondsAgo;
    const char* detail;
  };
  const Case cases[] = {
      {std::nullopt, "not seen yet"},
      {30, "last seen <1m ago"},
      {2 * 3600 + 5 * 60, "last seen 2h 5m ago"},
      {3 * 86400, "last seen 3d ago"},
      // A device whose clock runs ahead.
      {-90, "last seen <1m ago"},
  };
  for (const Case& test : cases) {
    PairedDevice device{id, "Anna’s iPad", "ios", addingSeconds(now, -86400 * 30), std::nullopt};
    if (test.lastSeenSecondsAgo) device.lastSeenAt = addingSeconds(now, -*test.lastSeenSecondsAgo);
    EXPECT_EQ(PairedDeviceRow::of(device, now), (PairedDeviceRow{id, "Anna’s iPad", test.detail}));
  }
}

TEST(PairedDeviceRow, HeadingCountsTheDevices) {
  EXPECT_EQ(PairedDeviceRow::heading(2), "Receiving your readings (2)");
}

}  // namespace
}  // namespace meterwright
