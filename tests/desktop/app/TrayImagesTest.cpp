#include <cairo.h>
#include <gtest/gtest.h>

#include "desktop/app/TrayImages.h"

namespace meterwright {
namespace {

// A 3 × 2 point picture, transparent but for one opaque red point at (2, 1).
Image marker() {
  return Image(3, 2, [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 2, 1, 1, 1);
    cairo_fill(cr);
  });
}

TEST(TrayImages, PixelsRunRowByRowAsArgbWords) {
  auto pixmaps = TrayImages::pixmaps(marker(), {2, 4, 0});
  ASSERT_EQ(pixmaps.size(), 2u) << "a height below 1 is skipped";
  EXPECT_EQ(pixmaps[0].width, 3);
  EXPECT_EQ(pixmaps[0].height, 2);
  std::vector<std::uint32_t> expected(6, 0);
  expected[1 * 3 + 2] = 0xFFFF0000;
  EXPECT_EQ(pixmaps[0].pixels, expected);
  EXPECT_EQ(pixmaps[1].width, 6);
  EXPECT_EQ(pixmaps[1].pixels[3 * 6 + 5], 0xFFFF0000u);
  EXPECT_EQ(pixmaps[1].pixels[3 * 6 + 3], 0u);
}

}  // namespace
}  // namespace meterwright
