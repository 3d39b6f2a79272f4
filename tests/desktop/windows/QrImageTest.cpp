#include <gtest/gtest.h>

#include "desktop/windows/QrImage.h"
#include "desktop/windows/QrReader.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

const char* const link = "meterwright://pair/7K3QH-9XWPM";

bool isBlack(const Bitmap::Pixel& pixel) {
  return pixel == Bitmap::Pixel{0, 0, 0, 255};
}
bool isWhite(const Bitmap::Pixel& pixel) {
  return pixel == Bitmap::Pixel{255, 255, 255, 255};
}

TEST(QrImage, ModulesAreWholePixelsAsLargeAsFit) {
  QrCode code = *QrCode::encode(link);
  int modules = code.size + 2 * QrCode::quietZone;
  struct Case {
    int side;
    int module;
  };
  const Case cases[] = {{480, 480 / modules}, {modules * 7, 7}, {modules * 7 - 1, 6}, {5, 1}};
  for (const Case& test : cases)
    EXPECT_EQ(QrImage::modulePixels(code, test.side), test.module) << test.side;
}

TEST(QrImage, EveryModuleIsSolidBlackOrWhiteInsideAQuietZone) {
  QrCode code = *QrCode::encode(link);
  const int side = 480;
  Bitmap bitmap = QrImage::render(code, side);
  int module = QrImage::modulePixels(code, side);
  int offset = (side - (code.size + 2 * QrCode::quietZone) * module) / 2;
  int origin = offset + QrCode::quietZone * module;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      int column = (x - origin) / module, row = (y - origin) / module;
      bool inCode = x >= origin && y >= origin && column < code.size && row < code.size;
      bool dark = inCode && code.isDark(column, row);
      Bitmap::Pixel pixel = bitmap.pixel(x, y);
      ASSERT_TRUE(dark ? isBlack(pixel) : isWhite(pixel)) << "pixel " << x << "," << y;
    }
  }
}

TEST(QrImage, AReaderReadsTheLinkBack) {
  testing::TemporaryFolder folder;
  auto path = folder.path() / "code.png";
  testing::writeFile(path, *QrImage::render(*QrCode::encode(link), 480).png());
  testing::QrReading reading = testing::readQrCode(path);
  if (!reading.problem.empty()) GTEST_SKIP() << reading.problem;
  EXPECT_EQ(reading.text, link);
}

}  // namespace
}  // namespace meterwright
