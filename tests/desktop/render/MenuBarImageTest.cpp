#include <gtest/gtest.h>

#include "core/format/Format.h"
#include "desktop/render/MenuBarImage.h"
#include "desktop/render/Pixels.h"
#include "desktop/render/SystemColours.h"
#include "desktop/render/TextLine.h"

namespace meterwright {
namespace {

using testing::firstOf;
using testing::runOf;
using testing::shows;

const Date now = dateFromUnixSeconds(1'740'821'400);
const ColorToken accent = testing::testAccent;
constexpr double scale = 2;
// The middle pixel row of the meter (8.5 to 13.5 points from the top) at 2×.
constexpr int meterRow = 22;
// No icon: the meter starts after the 12 points reserved for it and the 4-point gap.
constexpr int meterStart = 16 * 2;

// A provider with no icon (a symbol name without a drawing) and the given windows.
DisplayEntry entry(std::vector<UsageWindow> windows, bool stale = false) {
  DisplayEntry entry = testing::iconlessEntry(std::move(windows));
  entry.plan = "max";
  entry.isStale = stale;
  return entry;
}

UsageWindow used(double percent, int minutes = 300) {
  return {minutes, percent, std::nullopt, std::nullopt};
}

Config compact(int warnBelow = 0) {
  Config config;
  config.menuBarStyle = "bars";
  config.showMetricWord = false;
  config.warnBelowRemainingPercent = warnBelow;
  return config;
}

Bitmap draw(const std::vector<DisplayEntry>& entries, const Config& config, bool stale = false) {
  auto image = MenuBarImage::make(entries, config, stale, {.dark = false, .now = now});
  EXPECT_TRUE(image);
  return image ? image->rasterise(scale) : Bitmap();
}

TEST(MenuBarImage, NoEntriesNoImage) {
  EXPECT_FALSE(MenuBarImage::make({}, compact(), false, {.now = now}));
}

TEST(MenuBarImage, CompactWidthIsIconMeterAndFigure) {
  DisplayEntry sparkle = entry({used(40)});
  sparkle.iconName = "sparkle";
  auto image = MenuBarImage::make({sparkle}, compact(), false, {.now = now});
  ASSERT_TRUE(image);
  double icon = IconLoader::standard().image("sparkle", 12, FontWeight::medium, accent)->width();
  double figure = TextLine(Format::headline(used(40), Config::Metric::remaining, now),
                           Font{11, FontWeight::medium, true})
                      .width();
  EXPECT_DOUBLE_EQ(image->width(), icon + 4 + 30 + 4 + figure);
  EXPECT_DOUBLE_EQ(image->height(), 22);
  Bitmap bitmap = image->rasterise(scale);
  EXPECT_EQ(bitmap.pixelHeight(), 44);
  // The meter begins right after the icon's 4-point gap.
  int meterLeft = int(std::ceil((icon + 4) * scale));
  EXPECT_TRUE(shows(bitmap.pixel(meterLeft - 2, meterRow), {0, 0, 0, 0}));
  EXPECT_EQ(runOf(bitmap, meterLeft, meterRow, accent), 24);
}

TEST(MenuBarImage, MeterShowsTheUsedShare) {
  struct Case {
    double used;
    int filledPixels;
  };
  // 40 % of 30 points; 1 % still shows a stub as long as the meter is high; over 100 % is full.
  for (Case c : {Case{40, 24}, Case{1, 10}, Case{0, 0}, Case{150, 60}}) {
    Bitmap bitmap = draw({entry({used(c.used)})}, compact());
    EXPECT_EQ(runOf(bitmap, meterStart, meterRow, accent), c.filledPixels) << c.used;
    // The rest of the meter is the track.
    EXPECT_TRUE(shows(bitmap.pixel(meterStart + c.filledPixels + 1, meterRow), {0, 0, 0, 0.17}) ||
                c.filledPixels == 60)
        << c.used;
  }
}

TEST(MenuBarImage, WarningColours) {
  struct Case {
    double remaining;
    int warnBelow;
    ColorToken colour;
  };
  for (Case c :
       {Case{10, 20, SystemColours::red(false)}, Case{15, 20, SystemColours::orange(false)},
        Case{20, 20, SystemColours::orange(false)}, Case{21, 20, accent}, Case{10, 0, accent}}) {
    Bitmap bitmap = draw({entry({used(100 - c.remaining)})}, compact(c.warnBelow));
    EXPECT_TRUE(shows(bitmap.pixel(meterStart + 4, meterRow), c.colour))
        << c.remaining << " / " << c.warnBelow;
  }
}

TEST(MenuBarImage, CompactShowsTheFirstOfEqualWindows) {
  // Equal shares; the first has rolled over, so it reads "↻" instead of a percentage.
  UsageWindow rolledOver{300, 50, addingSeconds(now, -60), std::nullopt};
  UsageWindow plain = used(50, 10080);
  Bitmap both = draw({entry({rolledOver, plain})}, compact());
  Bitmap first = draw({entry({rolledOver})}, compact());
  Bitmap second = draw({entry({plain})}, compact());
  EXPECT_EQ(both.png(), first.png());
  EXPECT_NE(both.png(), second.png());
}

TEST(MenuBarImage, StaleMarkerMovesTheBlocksTwelvePoints) {
  Bitmap fresh = draw({entry({used(40)})}, compact());
  Bitmap stale = draw({entry({used(40)})}, compact(), true);
  EXPECT_EQ(stale.pixelWidth() - fresh.pixelWidth(), 24);
  EXPECT_EQ(firstOf(stale, meterRow, accent), meterStart + 24);
  // The marker is the orange triangle, left of the blocks.
  EXPECT_NE(firstOf(stale, 30, SystemColours::orange(false)), -1);
}

TEST(MenuBarImage, PlanBadgeOnlyInTheDetailedStyle) {
  DisplayEntry withoutPlan = entry({used(40)});
  withoutPlan.plan.reset();
  EXPECT_EQ(draw({entry({used(40)})}, compact()).png(), draw({withoutPlan}, compact()).png());

  Config detailed = compact();
  detailed.menuBarStyle = "detailed";
  Bitmap badge = draw({entry({used(40)})}, detailed);
  Bitmap plain = draw({withoutPlan}, detailed);
  EXPECT_GT(badge.pixelWidth(), plain.pixelWidth());
  // The capsule in the accent right after the space of the missing icon.
  EXPECT_NEAR(firstOf(badge, meterRow, accent), meterStart, 1);
  EXPECT_TRUE(shows(badge.pixel(meterStart + 2, 6), {0, 0, 0, 0}));
}

TEST(MenuBarImage, AnyTextDrawsWithAFiniteWidth) {
  std::string huge;
  for (int i = 0; i < 1000; ++i)
    huge += "\u0645\u0631\u062D\u0628\u0627 \u6F22\u5B57 \U0001F600e\u0301";
  DisplayEntry strange = entry({used(40), {10080, 200, std::nullopt, huge}});
  strange.label = huge;
  strange.plan = huge;
  strange.name = "\xFF\xFE broken";
  strange.accentToken = ColorToken::fromHex(huge).value_or(ColorToken{0.5, 0.5, 0.55, 1});
  Config detailed = compact(20);
  detailed.menuBarStyle = "detailed";
  detailed.showMetricWord = true;
  auto image = MenuBarImage::make({strange, entry({})}, detailed, true, {.now = now});
  ASSERT_TRUE(image);
  EXPECT_TRUE(std::isfinite(image->width()));
  EXPECT_GT(image->width(), 1000);
  Bitmap bitmap = image->rasterise(3);
  EXPECT_EQ(bitmap.pixelWidth(), Bitmap::largestSide);
}

}  // namespace
}  // namespace meterwright
