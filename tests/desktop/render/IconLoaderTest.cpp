#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "desktop/render/IconLoader.h"
#include "desktop/render/Pixels.h"
#include "desktop/render/SystemColours.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::shows;
using testing::writeFile;

const ColorToken green{0, 1, 0, 1};
const ColorToken blue{0, 0, 1, 1};
const ColorToken tint{1, 0, 1, 1};

std::string solidPng(const ColorToken& colour, int pixels = 48) {
  Image image(pixels, pixels, [colour](cairo_t* cr) {
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, colour.alpha);
    cairo_paint(cr);
  });
  return *image.rasterise(1).png();
}

// A green square saved by gdk-pixbuf's own writer for `type` ("bmp", "ico").
std::string savedGreen(const char* type) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 32, 32);
  gdk_pixbuf_fill(pixbuf, 0x00FF00FF);
  gchar* buffer = nullptr;
  gsize size = 0;
  bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr);
  g_object_unref(pixbuf);
  std::string bytes = saved ? std::string(buffer, size) : std::string();
  g_free(buffer);
  return bytes;
}

void putLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A data folder with a desktop entry and a hicolor theme holding its icon and a text file's icon,
// as the only XDG data folder the loader sees.
class IconLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(data / "icons/hicolor/index.theme",
              "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,48x48/mimetypes\n\n"
              "[48x48/apps]\nSize=48\nType=Threshold\n\n[48x48/mimetypes]\nSize=48\n");
    writeFile(data / "icons/hicolor/48x48/apps/example-app.png", solidPng(green));
    writeFile(data / "icons/hicolor/48x48/mimetypes/text-x-generic.png", solidPng(blue));
    writeFile(data / "applications/org.example.App.desktop",
              "[Desktop Entry]\nType=Application\nName=Example\nIcon=example-app\n"
              "[Desktop Action New]\nIcon=other\n");
    writeFile(data / "pictures/green.png", solidPng(green, 64));
    writeFile(data / "notes.txt", "plain words, nothing else\n");
    // After the files: the theme's folders are read when the loader is made.
    loader.emplace([this](const char* name) -> std::optional<std::string> {
      auto found = variables.find(name);
      if (found == variables.end()) return std::nullopt;
      return found->second;
    });
  }

  std::optional<Image> load(const std::string& spec, double size = 12) const {
    return loader->image(spec, size, FontWeight::medium, tint);
  }

  // The picture's middle shows `colour`.
  static bool centreShows(const std::optional<Image>& image, const ColorToken& colour) {
    if (!image) return false;
    Bitmap bitmap = image->rasterise(3);
    return shows(bitmap.pixel(bitmap.pixelWidth() / 2, bitmap.pixelHeight() / 2), colour, 6);
  }

  // The dashed question mark: the placeholder's size, drawn in the tertiary label colour only.
  static bool isPlaceholder(const std::optional<Image>& image, double size = 12) {
    auto expected = IconLoader::missing(size);
    if (!image || image->width() != expected->width()) return false;
    Bitmap bitmap = image->rasterise(3);
    ColorToken tertiary = SystemColours::tertiaryLabel(false);
    bool drawn = false;
    for (int y = 0; y < bitmap.pixelHeight(); ++y) {
      for (int x = 0; x < bitmap.pixelWidth(); ++x) {
        Bitmap::Pixel pixel = bitmap.pixel(x, y);
        if (pixel.alpha > 70 || (pixel.alpha > 0 && pixel.red + pixel.green + pixel.blue > 6)) {
          return false;
        }
        drawn = drawn || shows(pixel, tertiary, 2);
      }
    }
    return drawn;
  }

  testing::TemporaryFolder folder;
  fs::path data = folder.path() / "data";
  std::map<std::string, std::string> variables{{"XDG_DATA_DIRS", data.string()},
                                               {"XDG_DATA_HOME", (folder.path() / "home").string()},
                                               {"HOME", (folder.path() / "home").string()}};
  std::optional<IconLoader> loader;
};

TEST_F(IconLoaderTest, ReferenceForms) {
  auto picture = load("file:" + (data / "pictures/green.png").string());
  ASSERT_TRUE(picture);
  EXPECT_DOUBLE_EQ(picture->width(), 12 * 1.18);
  EXPECT_DOUBLE_EQ(picture->height(), 12 * 1.18);
  EXPECT_TRUE(centreShows(picture, green));

  EXPECT_TRUE(centreShows(load("bundle:org.example.App"), green));
  EXPECT_TRUE(centreShows(load("bundle:org.example.App.desktop"), green));
  EXPECT_TRUE(
      centreShows(load("app:" + (data / "applications/org.example.App.desktop").string()), green));
  EXPECT_TRUE(centreShows(load("app:" + (data / "pictures/green.png").string()), green));
  // Any other file: the theme's icon for its content type.
  EXPECT_TRUE(centreShows(load("app:" + (data / "notes.txt").string()), blue));

  auto sparkle = load("sparkle", 20);
  ASSERT_TRUE(sparkle);
  EXPECT_TRUE(centreShows(sparkle, tint));
}

TEST_F(IconLoaderTest, MissingAndUnknown) {
  EXPECT_TRUE(isPlaceholder(load("app:/no/such/App.desktop")));
  EXPECT_TRUE(isPlaceholder(load("bundle:org.example.Missing")));
  EXPECT_TRUE(isPlaceholder(load("bundle:../applications/org.example.App")));
  EXPECT_TRUE(isPlaceholder(load("file:/no/such.png")));
  EXPECT_FALSE(load("no.such.symbol"));
  // Prefixes are case-sensitive: these are symbol names, and name no symbol.
  EXPECT_FALSE(load("App:" + (data / "pictures/green.png").string()));
  EXPECT_FALSE(load("FILE:" + (data / "pictures/green.png").string()));
  EXPECT_FALSE(load(""));
}

TEST_F(IconLoaderTest, BadFilesGiveThePlaceholder) {
  fs::path bad = folder.path() / "bad";
  fs::create_directories(bad);
  std::string png = solidPng(green);
  // Cut inside the picture data, just after the header chunk.
  writeFile(bad / "truncated.png", png.substr(0, 45));
  // A picture 60000 pixels a side: refused before its pixels are allocated.
  std::string bomb =
      png.substr(0, 16) + std::string("\x00\x00\xEA\x60\x00\x00\xEA\x60", 8) + png.substr(24);
  writeFile(bad / "bomb.png", bomb);
  writeFile(bad / "broken.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><g><g");
  writeFile(bad / "noise.png", std::string(5000, '\x7F'));
  writeFile(bad / "gzipped.svgz", "\x1F\x8B\x08\x00garbage");
  writeFile(bad / "huge.png", "");
  ASSERT_EQ(truncate((bad / "huge.png").c_str(), 64 * 1024 * 1024), 0);
  ASSERT_EQ(mkfifo((bad / "fifo.png").c_str(), 0600), 0);
  fs::create_symlink(bad / "loop-b", bad / "loop-a");
  fs::create_symlink(bad / "loop-a", bad / "loop-b");
  fs::create_directories(bad / "folder.png");

  std::vector<std::string> paths{"truncated.png", "bomb.png",         "broken.svg", "noise.png",
                                 "gzipped.svgz",  "huge.png",         "fifo.png",   "loop-a",
                                 "folder.png",    "\xFF\x01odd\n.png"};
  for (const std::string& name : paths) {
    for (const char* prefix : {"file:", "app:"}) {
      EXPECT_TRUE(isPlaceholder(load(prefix + (bad / name).string()))) << prefix << name;
    }
  }
  for (const char* device : {"/dev/zero", "/dev/null", "/dev/tty"}) {
    EXPECT_TRUE(isPlaceholder(load(std::string("file:") + device))) << device;
    EXPECT_TRUE(isPlaceholder(load(std::string("app:") + device))) << device;
  }
}

// Their loaders size header buffers from fields of the file before the picture's size is known.
TEST_F(IconLoaderTest, BmpAndIcoFieldsMustLieInsideTheFile) {
  std::string bmp = savedGreen("bmp"), ico = savedGreen("ico");
  ASSERT_GT(bmp.size(), 54u);
  ASSERT_GT(ico.size(), 62u);
  writeFile(data / "green.bmp", bmp);
  writeFile(data / "green.ico", ico);
  EXPECT_TRUE(centreShows(load("file:" + (data / "green.bmp").string()), green));
  EXPECT_TRUE(centreShows(load("file:" + (data / "green.ico").string()), green));

  std::map<std::string, std::string> hostile;
  putLittleEndian32(hostile["info-size.bmp"] = bmp, 14, 0xC1C1C1C1);
  putLittleEndian32(hostile["pixel-offset.bmp"] = bmp, 10, 0x7FFFFFF0);
  putLittleEndian32(hostile["entry-offset.ico"] = ico, 6 + 12, 0x7FFFFFF0);
  hostile["no-entries.ico"] = std::string("\0\0\1\0\0\0", 6) + ico.substr(6);
  hostile["short.bmp"] = bmp.substr(0, 16);
  for (const auto& [name, bytes] : hostile) {
    writeFile(data / name, bytes);
    EXPECT_TRUE(isPlaceholder(load("file:" + (data / name).string()))) << name;
  }
}

TEST_F(IconLoaderTest, SvgReferencesToOtherFilesAreNotFollowed) {
  writeFile(
      data / "pictures/outside.svg",
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
      "width=\"10\" height=\"10\"><rect width=\"10\" height=\"10\" fill=\"#00FF00\"/>"
      "<image xlink:href=\"file:///dev/zero\" width=\"10\" height=\"10\"/></svg>");
  EXPECT_TRUE(centreShows(load("file:" + (data / "pictures/outside.svg").string()), green));
}

}  // namespace
}  // namespace meterwright
