#include <gtest/gtest.h>

#include "desktop/render/AppIconArt.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

// Width and height from a PNG's header.
std::pair<int, int> pngSize(const fs::path& file) {
  std::string bytes = testing::readFile(file);
  auto number = [&](std::size_t at) {
    return (static_cast<unsigned char>(bytes.at(at)) << 24) |
           (static_cast<unsigned char>(bytes.at(at + 1)) << 16) |
           (static_cast<unsigned char>(bytes.at(at + 2)) << 8) |
           static_cast<unsigned char>(bytes.at(at + 3));
  };
  return {number(16), number(20)};
}

TEST(AppIconArt, IconsetHasTenSizes) {
  testing::TemporaryFolder folder;
  fs::path iconset = folder.path() / "nested" / "Meterwright.iconset";
  ASSERT_EQ(AppIconArt::writeIconset(iconset), std::nullopt);
  std::map<std::string, int> sizes;
  for (const auto& file : fs::directory_iterator(iconset)) {
    auto [width, height] = pngSize(file.path());
    EXPECT_EQ(width, height);
    sizes[file.path().filename().string()] = width;
  }
  EXPECT_EQ(sizes, (std::map<std::string, int>{{"icon_16x16.png", 16},
                                               {"icon_16x16@2x.png", 32},
                                               {"icon_32x32.png", 32},
                                               {"icon_32x32@2x.png", 64},
                                               {"icon_128x128.png", 128},
                                               {"icon_128x128@2x.png", 256},
                                               {"icon_256x256.png", 256},
                                               {"icon_256x256@2x.png", 512},
                                               {"icon_512x512.png", 512},
                                               {"icon_512x512@2x.png", 1024}}));
}

TEST(AppIconArt, FramesDifferAtTheCorners) {
  Bitmap fullBleed = AppIconArt::bitmap(1024, AppIconArt::Frame::fullBleed);
  Bitmap inset = AppIconArt::bitmap(1024, AppIconArt::Frame::inset);
  for (auto [x, y] : {std::pair{0, 0}, {1023, 0}, {0, 1023}, {1023, 1023}}) {
    EXPECT_EQ(fullBleed.pixel(x, y).alpha, 255);
    EXPECT_EQ(inset.pixel(x, y).alpha, 0);
  }
  EXPECT_EQ(inset.pixel(512, 512).alpha, 255);
}

TEST(AppIconArt, WritesReportFailures) {
  testing::TemporaryFolder folder;
  fs::path file = folder.path() / "deep" / "AppIcon-1024.png";
  ASSERT_EQ(AppIconArt::write(file, 1024), std::nullopt);
  EXPECT_EQ(pngSize(file), std::pair(1024, 1024));

  testing::writeFile(folder.path() / "plain", "a file, not a folder");
  EXPECT_TRUE(AppIconArt::write(folder.path() / "plain" / "icon.png", 1024));
  EXPECT_TRUE(AppIconArt::writeIconset(folder.path() / "plain" / "x.iconset"));

  fs::path hicolor = folder.path() / "icons/hicolor";
  ASSERT_EQ(AppIconArt::writeDesktopIcons(hicolor), std::nullopt);
  EXPECT_EQ(pngSize(hicolor / "48x48/apps/dev.velmora.meterwright.png"), std::pair(48, 48));
}

}  // namespace
}  // namespace meterwright
