#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/TerminalQr.h"
#include "platform/process/ProcessRun.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

const std::string link = "meterwright://pair/ABCDE-FGHJK";

// The rows as a terminal shows them: each cell two modules high and one wide, the foreground
// black, the background white; `scale` pixels per module. A binary PGM.
std::string pgm(const std::vector<std::string>& rows, int scale) {
  std::vector<std::vector<bool>> dark;
  for (const std::string& row : rows) {
    std::vector<bool> upper, lower;
    for (std::size_t i = 0; i < row.size();) {
      if (row[i] == ' ') {
        upper.push_back(false), lower.push_back(false);
        ++i;
        continue;
      }
      std::string cell = row.substr(i, 3);
      upper.push_back(cell == "\u2588" || cell == "\u2580");
      lower.push_back(cell == "\u2588" || cell == "\u2584");
      i += 3;
    }
    dark.push_back(upper);
    dark.push_back(lower);
  }
  const std::size_t width = dark[0].size() * scale, height = dark.size() * scale;
  std::string image = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (std::size_t y = 0; y < height; ++y)
    for (std::size_t x = 0; x < width; ++x) image += dark[y / scale][x / scale] ? '\0' : '\xff';
  return image;
}

TEST(TerminalQr, EveryRowCoversTheCodeAndItsQuietZoneTwoModulesHigh) {
  std::optional<QrCode> code = QrCode::encode(link);
  ASSERT_TRUE(code);
  const int side = code->size + 2 * QrCode::quietZone;
  std::vector<std::string> rows = TerminalQr::rows(*code);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>((side + 1) / 2));
  for (const std::string& row : rows) {
    std::size_t cells = 0;
    for (unsigned char c : row) cells += (c & 0xC0) != 0x80;
    EXPECT_EQ(cells, static_cast<std::size_t>(side));
  }
  // The quiet zone: two blank rows at the top, four blank cells opening every row.
  EXPECT_EQ(rows[0], std::string(side, ' '));
  EXPECT_EQ(rows[1], std::string(side, ' '));
  for (const std::string& row : rows) EXPECT_EQ(row.substr(0, 4), "    ");

  std::string painted = TerminalQr::text(*code, true);
  EXPECT_EQ(painted.substr(0, 10), "\x1b[30;107m" + rows[0].substr(0, 1));
  EXPECT_EQ(TerminalQr::text(*code, false).find('\x1b'), std::string::npos);
}

// What a phone's camera does with the drawing, done by zbar.
TEST(TerminalQr, ZbarReadsTheLinkFromTheDrawing) {
  const char* zbarimg = "/usr/bin/zbarimg";
  if (!std::filesystem::exists(zbarimg)) GTEST_SKIP() << "zbarimg is not installed (zbar-tools)";
  std::optional<QrCode> code = QrCode::encode(link);
  ASSERT_TRUE(code);
  testing::TemporaryFolder temp;
  const std::filesystem::path image = temp.path() / "qr.pgm";
  testing::writeFile(image, pgm(TerminalQr::rows(*code), 6));

  auto decoded = runCollectingOutput(zbarimg, {"--raw", "-q", image.string()}, {}, 30, 1, 65536);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->exitStatus, 0);
  EXPECT_EQ(decoded->standardOutput, link + "\n");
}

}  // namespace
}  // namespace meterwright
