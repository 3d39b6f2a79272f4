#include <gtest/gtest.h>

#include "desktop/render/IconLoader.h"
#include "desktop/render/Pixels.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TouchBarImage.h"

namespace meterwright {
namespace {

using testing::firstOf;
using testing::shows;

const Date now = dateFromUnixSeconds(1'740'821'400);
const ColorToken accent = testing::testAccent;
const RenderContext context{.dark = true, .now = now};

DisplayEntry entry(std::vector<double> remaining, std::string icon = "sparkle") {
  DisplayEntry entry;
  entry.id = "claude";
  entry.name = "Claude";
  entry.label = "Cl";
  entry.accentToken = accent;
  entry.iconName = std::move(icon);
  for (double left : remaining) entry.windows.push_back({300, 100 - left, {}, {}});
  entry.detailedWindows = entry.windows;
  entry.hasData = !entry.windows.empty();
  return entry;
}

TEST(TouchBarImage, StripWidth) {
  Config config;
  double icon = IconLoader::standard().image("sparkle", 13, FontWeight::semibold, accent)->width();
  Image empty = TouchBarImage::strip({}, config, context);
  EXPECT_EQ(empty.width(), 56);
  EXPECT_EQ(empty.height(), 30);
  Bitmap blank = empty.rasterise(1);
  for (int x = 0; x < blank.pixelWidth(); ++x) EXPECT_EQ(blank.pixel(x, 15).alpha, 0);

  EXPECT_EQ(TouchBarImage::strip({entry({50})}, config, context).width(),
            std::max(8 + icon + 35 - 9 + 8, 56.0));
  EXPECT_EQ(TouchBarImage::strip({entry({50}), entry({50})}, config, context).width(),
            8 + 2 * (icon + 35) - 9 + 8);
  // Without an icon 48, and 6 more without data.
  EXPECT_EQ(
      TouchBarImage::strip({entry({}, "no.such.symbol"), entry({50})}, config, context).width(),
      8 + 48 + 6 + icon + 35 - 9 + 8);
}

TEST(TouchBarImage, DetailShowsTheScarcestWindowUnlessDetailed) {
  Config config;
  config.warnBelowRemainingPercent = 20;
  config.showMetricWord = false;
  auto meters = [&](const std::string& style) {
    config.touchBarStyle = style;
    Bitmap bitmap = TouchBarImage::detail({entry({40, 10})}, config, 420, context).rasterise(1);
    // The bottom row's middle, 22 points from the top.
    return std::pair{firstOf(bitmap, 22, SystemColours::red(true)) != -1,
                     firstOf(bitmap, 22, accent) != -1};
  };
  EXPECT_EQ(meters("compact"), std::pair(true, false));
  EXPECT_EQ(meters("detailed"), std::pair(true, true));
}

TEST(TouchBarImage, DetailWithoutDataSaysUnavailable) {
  Config config;
  config.showPlanBadge = false;
  auto bottomRow = [&](const DisplayEntry& shown) {
    Bitmap bitmap = TouchBarImage::detail({shown}, config, 420, context).rasterise(3);
    bool text = false, meter = false;
    for (int y = 45; y < 90; ++y) {
      for (int x = 0; x < bitmap.pixelWidth(); ++x) {
        text = text || shows(bitmap.pixel(x, y), {1, 1, 1, 0.72});
        meter = meter || shows(bitmap.pixel(x, y), accent);
      }
    }
    return std::pair{text, meter};
  };
  // The secondary text colour alone: "unavailable", no meter.
  EXPECT_EQ(bottomRow(entry({})), std::pair(true, false));
  EXPECT_EQ(bottomRow(entry({50})).second, true);
}

}  // namespace
}  // namespace meterwright
