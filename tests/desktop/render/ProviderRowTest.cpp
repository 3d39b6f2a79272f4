#include <gtest/gtest.h>

#include "desktop/render/Pixels.h"
#include "desktop/render/ProviderRow.h"

namespace meterwright {
namespace {

using testing::shows;

const Date now = dateFromUnixSeconds(1'740'821'400);
const ColorToken accent = testing::testAccent;

UsageWindow window(double used, std::optional<std::string> group = {},
                   std::optional<Date> resetsAt = {}) {
  return {300, used, resetsAt, std::move(group)};
}

DisplayEntry entry(std::vector<UsageWindow> windows, bool hasData = true) {
  DisplayEntry entry = testing::iconlessEntry(std::move(windows));
  entry.hasData = hasData;
  return entry;
}

Config plain() {
  Config config;
  config.warnBelowRemainingPercent = 0;
  config.showPlanBadge = false;
  return config;
}

// A pixel in the middle of the only window's meter, at 1×: the block is the 36 points under the
// heading band (4.5 + 24 from the top), its meter 20 to 27 points above the block's bottom.
Bitmap::Pixel meterPixel(const DisplayEntry& shown, double x) {
  Bitmap bitmap = ProviderRow::image(shown, plain(), 360, {.now = now}).rasterise(1);
  return bitmap.pixel(int(x), int(4.5 + 24 + 36 - 24));
}

TEST(ProviderRow, Heights) {
  EXPECT_EQ(ProviderRow::height(entry({}, false)), 63);
  EXPECT_EQ(ProviderRow::height(entry({window(10)}, false)), 63);
  auto grouped = entry({window(10, "A"), window(20, "A"), window(30, "B"), window(40)});
  EXPECT_EQ(ProviderRow::headingCount(grouped.detailedWindows), 2);
  EXPECT_EQ(ProviderRow::height(grouped), 207);
  EXPECT_EQ(ProviderRow::image(grouped, plain(), 360, {.now = now}).rasterise(2).pixelHeight(),
            414);
  // A window without a group in between starts the group again.
  EXPECT_EQ(ProviderRow::headingCount({window(1, "A"), window(2), window(3, "A")}), 2);
}

TEST(ProviderRow, MeterFillFollowsTheWindow) {
  ColorToken track{0, 0, 0, 0.13};
  EXPECT_TRUE(shows(meterPixel(entry({window(50)}), 56), accent));
  // Reset already passed: empty however much was used.
  EXPECT_TRUE(shows(meterPixel(entry({window(100, {}, addingSeconds(now, -1))}), 56), track));
  EXPECT_TRUE(shows(meterPixel(entry({window(100, {}, addingSeconds(now, 60))}), 56), accent));
  DisplayEntry stale = entry({window(50)});
  stale.isStale = true;
  // The fill at 0.78 over the track (black at 0.13).
  EXPECT_NEAR(meterPixel(stale, 56).alpha, (0.78 + 0.13 * 0.22) * 255, 2);
}

TEST(ProviderRow, AccessibilityLabel) {
  DisplayEntry shown = entry({window(37.5)});
  shown.plan = "Max";
  EXPECT_EQ(ProviderRow::accessibilityLabel(shown, now), "Claude, Max plan, 5h window, 38% used");
  shown.windows[0].resetsAt = addingSeconds(now, 2 * 3600 + 5 * 60);
  EXPECT_EQ(ProviderRow::accessibilityLabel(shown, now),
            "Claude, Max plan, 5h window, 38% used, resets in 2h 5m");
  shown.isStale = true;
  shown.hasData = false;
  EXPECT_EQ(ProviderRow::accessibilityLabel(shown, now), "Claude, Max plan, no usage data");
}

}  // namespace
}  // namespace meterwright
