#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/display/Theme.h"
#include "desktop/render/Pixels.h"
#include "desktop/render/SquareStatusImage.h"
#include "desktop/render/SystemColours.h"

namespace meterwright {
namespace {

using testing::shows;

const Date now = dateFromUnixSeconds(1'740'821'400);
constexpr double scale = 2;

UsageWindow used(double percent) {
  return {300, percent, std::nullopt, std::nullopt};
}

Config withWarning(int warnBelow, Config::Metric metric = Config::Metric::remaining) {
  Config config;
  config.warnBelowRemainingPercent = warnBelow;
  config.metric = metric;
  return config;
}

Bitmap draw(const std::vector<DisplayEntry>& entries, const Config& config, bool dark = false) {
  auto image = SquareStatusImage::make(entries, config, false, {.dark = dark, .now = now});
  EXPECT_TRUE(image);
  if (!image) return {};
  EXPECT_EQ(image->width(), image->height());
  return image->rasterise(scale);
}

// The ring's pixel `share` of a turn clockwise from the top, in the middle of its stroke.
Bitmap::Pixel ringAt(const Bitmap& bitmap, double share) {
  double centre = SquareStatusImage::side / 2 * scale, radius = (11 - 1.25) * scale;
  double angle = share * 2 * std::numbers::pi;
  return bitmap.pixel(int(std::floor(centre + radius * std::sin(angle))),
                      int(std::floor(centre - radius * std::cos(angle))));
}

TEST(SquareStatusImage, NoEntriesNoImage) {
  EXPECT_FALSE(SquareStatusImage::make({}, Config(), false, {.now = now}));
}

TEST(SquareStatusImage, RingFillsTheUsedShareOverTheTrack) {
  for (bool dark : {false, true}) {
    ColorToken accent = testing::testAccent, track = Palette::track(dark);
    Bitmap bitmap = draw({testing::iconlessEntry({used(40)})}, withWarning(0), dark);
    EXPECT_TRUE(shows(ringAt(bitmap, 0.05), accent)) << dark;
    EXPECT_TRUE(shows(ringAt(bitmap, 0.35), accent)) << dark;
    EXPECT_TRUE(shows(ringAt(bitmap, 0.45), track)) << dark;
    EXPECT_TRUE(shows(ringAt(bitmap, 0.9), track)) << dark;
    // Nothing used: no fill at all.
    Bitmap unused = draw({testing::iconlessEntry({used(0)})}, withWarning(0), dark);
    EXPECT_TRUE(shows(ringAt(unused, 0.02), track)) << dark;
  }
}

TEST(SquareStatusImage, ShowsTheScarcestWindowOfAllProvidersInItsSeverityColour) {
  DisplayEntry plenty = testing::iconlessEntry({used(10), used(20)});
  DisplayEntry scarce = testing::iconlessEntry({used(30), used(88)});
  scarce.accentToken = {0.5, 0.2, 0.7, 1};
  // 12 % left is at or below a 20 % threshold but above half of it: orange, over 88 % of the ring.
  Bitmap bitmap = draw({plenty, scarce}, withWarning(20));
  EXPECT_TRUE(shows(ringAt(bitmap, 0.85), SystemColours::orange(false)));
  EXPECT_TRUE(shows(ringAt(bitmap, 0.92), Palette::track(false)));
  // Without a threshold the scarce provider's own accent.
  EXPECT_TRUE(shows(ringAt(draw({plenty, scarce}, withWarning(0)), 0.5), scarce.accentToken));
  // 5 % left is at or below half of it: red.
  EXPECT_TRUE(shows(ringAt(draw({testing::iconlessEntry({used(95)})}, withWarning(20)), 0.5),
                    SystemColours::red(false)));
}

TEST(SquareStatusImage, FigureIsInTheLabelColourAndStaysInsideTheRing) {
  for (bool dark : {false, true}) {
    // "100" is the widest figure.
    Bitmap bitmap =
        draw({testing::iconlessEntry({used(100)})}, withWarning(0, Config::Metric::used), dark);
    ColorToken label = SystemColours::label(dark), other = SystemColours::label(!dark);
    double centre = SquareStatusImage::side / 2 * scale, inner = (11 - 2.5) * scale;
    int inLabel = 0, outside = 0, inOther = 0;
    for (int y = 0; y < bitmap.pixelHeight(); ++y) {
      for (int x = 0; x < bitmap.pixelWidth(); ++x) {
        Bitmap::Pixel pixel = bitmap.pixel(x, y);
        if (shows(pixel, other)) ++inOther;
        if (!shows(pixel, label)) continue;
        ++inLabel;
        if (std::hypot(x + 0.5 - centre, y + 0.5 - centre) > inner) ++outside;
      }
    }
    EXPECT_GT(inLabel, 20) << dark;
    EXPECT_EQ(outside, 0) << dark;
    EXPECT_EQ(inOther, 0) << dark;
  }
}

}  // namespace
}  // namespace meterwright
