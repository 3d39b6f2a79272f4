#include <gtest/gtest.h>

#include "platform/tray/TrayPixmapBytes.h"

namespace meterwright {
namespace {

TEST(TrayPixmapBytes, GivesStraightAlphaInNetworkOrder) {
  struct Case {
    std::uint32_t premultiplied;
    std::vector<std::uint8_t> bytes;
  };
  for (const Case& each : {
           Case{0xff123456u, {0xff, 0x12, 0x34, 0x56}},
           Case{0x80400000u, {0x80, 0x80, 0x00, 0x00}},
           Case{0x40404040u, {0x40, 0xff, 0xff, 0xff}},
           Case{0x01010000u, {0x01, 0xff, 0x00, 0x00}},
           Case{0x00000000u, {0x00, 0x00, 0x00, 0x00}},
           // Not a valid premultiplied pixel (colour above alpha): clamped, not wrapped.
           Case{0x10ff0000u, {0x10, 0xff, 0x00, 0x00}},
       }) {
    EXPECT_EQ(TrayPixmapBytes::networkOrder({1, 1, {each.premultiplied}}), each.bytes)
        << std::hex << each.premultiplied;
  }
}

TEST(TrayPixmapBytes, KeepsPixelsRowByRow) {
  TrayPixmap pixmap{2, 2, {0xff000001u, 0xff000002u, 0xff000003u, 0xff000004u}};
  EXPECT_EQ(
      TrayPixmapBytes::networkOrder(pixmap),
      (std::vector<std::uint8_t>{0xff, 0, 0, 1, 0xff, 0, 0, 2, 0xff, 0, 0, 3, 0xff, 0, 0, 4}));
}

TEST(TrayPixmapBytes, RefusesPixelsThatDoNotFillTheImage) {
  for (const TrayPixmap& pixmap :
       {TrayPixmap{2, 2, {0xffffffffu}}, TrayPixmap{0, 1, {}}, TrayPixmap{-1, -1, {0xffffffffu}}}) {
    EXPECT_TRUE(TrayPixmapBytes::networkOrder(pixmap).empty()) << pixmap.width;
  }
}

}  // namespace
}  // namespace meterwright
