#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include "desktop/sync/IconCache.h"

namespace meterwright {
namespace {

// Width and height from a PNG's header chunk, big-endian after the signature.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& png) {
  auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(png[at + i]);
    return value;
  };
  return {word(16), word(20)};
}

TEST(IconCache, DrawsTheLoadersImageAt64PointsAsPng) {
  std::optional<std::string> png = IconCache::render("sparkle");
  ASSERT_TRUE(png);
  ASSERT_GT(png->size(), 24u);
  EXPECT_EQ(png->substr(0, 8), "\x89PNG\r\n\x1a\n");
  // A symbol keeps its own proportions around the 64-point size, at one pixel per point.
  auto [width, height] = pngSize(*png);
  EXPECT_EQ(width, 64u);
  EXPECT_GE(height, 60u);
  EXPECT_LE(height, 72u);
  EXPECT_EQ(IconCache::render("no.such.symbol.anywhere"), std::nullopt);
}

TEST(IconCache, KeepsWhatItDrewButTriesAFailureAgain) {
  std::map<std::string, int> calls;
  IconCache cache([&](std::string_view spec) -> std::optional<std::string> {
    ++calls[std::string(spec)];
    if (spec == "broken") return std::nullopt;
    return "png of " + std::string(spec);
  });
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(cache.png("sparkle"), "png of sparkle");
    EXPECT_EQ(cache.png("broken"), std::nullopt);
  }
  EXPECT_EQ(calls, (std::map<std::string, int>{{"broken", 2}, {"sparkle", 1}}));
}

// A lookup of a cached icon from another thread finishes while a slow drawing is under way.
TEST(IconCache, DrawingHoldsNoLock) {
  std::future<std::optional<std::string>> meanwhile;
  bool answeredWhileDrawing = false;
  IconCache* self = nullptr;
  IconCache cache([&](std::string_view spec) -> std::optional<std::string> {
    if (spec == "slow") {
      meanwhile = std::async(std::launch::async, [&] { return self->png("quick"); });
      answeredWhileDrawing =
          meanwhile.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    }
    return std::string(spec);
  });
  self = &cache;
  ASSERT_EQ(cache.png("quick"), "quick");
  EXPECT_EQ(cache.png("slow"), "slow");
  EXPECT_TRUE(answeredWhileDrawing);
  EXPECT_EQ(meanwhile.get(), "quick");
}

}  // namespace
}  // namespace meterwright
