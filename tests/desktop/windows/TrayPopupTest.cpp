#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/display/Theme.h"
#include "desktop/render/FooterRow.h"
#include "desktop/render/Pixels.h"
#include "desktop/render/ProviderRow.h"
#include "desktop/windows/GtkOnVirtualDisplay.h"
#include "desktop/windows/PopupPlacement.h"
#include "desktop/windows/TrayPopup.h"
#include "desktop/windows/X11Input.h"
#include "platform/glib/MainLoopWait.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using Content = TrayPopup::Content;
using PopupPlacement::Point;

TEST(PopupPlacement, CentresOnThePointerInsideItsMonitor) {
  const Rect screen{0, 0, 1280, 1024};
  const Rect right{1280, 0, 1920, 1080};
  struct Case {
    Point pointer;
    int height;
    Rect monitor;
    Point expected;
  };
  const Case cases[] = {
      {{640, 10}, 300, screen, {460, 10}},     // a panel at the top: below the pointer
      {{640, 1015}, 300, screen, {460, 715}},  // at the bottom: above it
      {{1270, 10}, 300, screen, {920, 10}},    // kept off the right edge
      {{5, 1015}, 300, screen, {0, 715}},      // and the left one
      {{1290, 5}, 300, right, {1280, 5}},      // on a second monitor, kept on it
      {{640, 10}, 2000, screen, {460, 0}},     // taller than the monitor: from its top
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PopupPlacement::origin(c.pointer, 360, c.height, c.monitor), c.expected)
        << c.pointer.x << "," << c.pointer.y;
  }
}

// GTK must stay unloaded in a process that never shows the popup: run apart, in a fresh process.
TEST(TrayPopupWithoutDisplay, NothingButShowStartsGtk) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TrayPopup popup;
        popup.update(Content{});
        popup.close();
        std::exit(gtk_is_initialized() || popup.isShown() || popup.png() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

const Date now = dateFromUnixSeconds(1'740'821'400);

UsageWindow window(double used, std::optional<std::string> group = {}) {
  return {300, used, addingSeconds(now, 3600), std::move(group)};
}

DisplayEntry entry(std::string id, std::vector<UsageWindow> windows) {
  DisplayEntry entry = testing::iconlessEntry(std::move(windows));
  entry.id = id;
  entry.name = id;
  return entry;
}

// One window (63 points) and four in two groups (4 × 36 + 24 + 2 × 18 + 3 = 207), then the footer.
Content twoProviders(bool dark = false, double firstUsed = 20) {
  Content content;
  content.entries = {
      entry("Claude", {window(firstUsed)}),
      entry("Codex", {window(10, "A"), window(50, "A"), window(70, "B"), window(90)})};
  content.footer = "Updated 2m ago";
  content.context = {.dark = dark, .now = now};
  return content;
}

// The pixels of a PNG; empty when it does not decode.
Bitmap decoded(const std::string& png) {
  struct Reader {
    const std::string& bytes;
    std::size_t offset = 0;
  } reader{png};
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
      [](void* data, unsigned char* into, unsigned int length) {
        auto* reader = static_cast<Reader*>(data);
        if (reader->offset + length > reader->bytes.size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(into, reader->bytes.data() + reader->offset, length);
        reader->offset += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &reader);
  Bitmap bitmap;
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    bitmap = Bitmap(cairo_image_surface_get_width(image), cairo_image_surface_get_height(image), 1);
    cairo_t* cr = cairo_create(bitmap.surface());
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  cairo_surface_destroy(image);
  return bitmap;
}

// How many pixels of `image`, drawn over the popup's background, differ by more than rounding
// from the popup's picture at (0, top).
int differingPixels(const Bitmap& picture, int top, const Image& image, bool dark) {
  Bitmap expected = image.rasterise(1, Theme::resolve(dark).background);
  int differing = 0;
  for (int y = 0; y < expected.pixelHeight(); ++y) {
    for (int x = 0; x < expected.pixelWidth(); ++x) {
      Bitmap::Pixel actual = picture.pixel(x, top + y), want = expected.pixel(x, y);
      auto near = [](int a, int b) { return std::abs(a - b) <= 2; };
      if (!near(actual.red, want.red) || !near(actual.green, want.green) ||
          !near(actual.blue, want.blue) || !near(actual.alpha, want.alpha))
        ++differing;
    }
  }
  return differing;
}

class TrayPopupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string& problem = testing::gtkOnVirtualDisplay(); !problem.empty())
      GTEST_SKIP() << problem;
    popup = std::make_unique<TrayPopup>();
    popup->onClosed = [this] { ++closings; };
  }

  void TearDown() override {
    popup.reset();
    // Lets GTK finish with the destroyed window before the next test's.
    MainLoopWait::run(0);
  }

  void showAndLayOut(const Content& content, int x = 0, int y = 0) {
    ASSERT_TRUE(popup->show(content, x, y));
    waitForSize(content);
  }

  void waitForSize(const Content& content) {
    auto wanted = TrayPopup::sizeFor(content);
    ASSERT_TRUE(MainLoopWait::until([&] { return popup->size() == wanted; }, 20))
        << "laid out at " << (popup->size() ? popup->size()->second : -1) << " points high, not "
        << wanted.second;
  }

  Bitmap picture() {
    Bitmap drawn = decoded(popup->png().value_or(""));
    EXPECT_FALSE(drawn.empty());
    return drawn;
  }

  // The shown popup's window, found as any other client would see it.
  static GtkWindow* shownPopup() {
    GListModel* windows = gtk_window_get_toplevels();
    GtkWindow* found = nullptr;
    for (guint i = 0; i < g_list_model_get_n_items(windows) && !found; ++i) {
      auto* window = static_cast<GtkWindow*>(g_list_model_get_item(windows, i));
      if (gtk_widget_get_visible(GTK_WIDGET(window)) && !gtk_window_get_decorated(window))
        found = window;
      g_object_unref(window);
    }
    return found;
  }

  // Whether the shown popup's elements read, from the top, as `labels` to a screen reader.
  static ::testing::AssertionResult readsAs(const std::vector<std::string>& labels) {
    GtkWidget* row = gtk_widget_get_first_child(gtk_window_get_child(shownPopup()));
    for (const std::string& label : labels) {
      if (!row) return ::testing::AssertionFailure() << "nothing reads as " << label;
      if (char* actual = gtk_test_accessible_check_property(
              GTK_ACCESSIBLE(row), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str())) {
        auto failure = ::testing::AssertionFailure() << "read as " << actual << ", not " << label;
        g_free(actual);
        return failure;
      }
      row = gtk_widget_get_next_sibling(row);
    }
    if (row) return ::testing::AssertionFailure() << "more elements than labels";
    return ::testing::AssertionSuccess();
  }

  static guint toplevelCount() { return g_list_model_get_n_items(gtk_window_get_toplevels()); }

  // Waits for the popup to hold the keyboard focus, as it does once the window system gives it.
  static void waitForFocus() {
    ASSERT_TRUE(
        MainLoopWait::until([] { return shownPopup() && gtk_window_is_active(shownPopup()); }, 20))
        << "the popup never got the focus";
  }

  std::unique_ptr<TrayPopup> popup;
  int closings = 0;
};

TEST_F(TrayPopupTest, TwoProvidersMakeItAsHighAsTheirRowsAndItOpensAtThePointer) {
  Content content = twoProviders();
  EXPECT_EQ(TrayPopup::sizeFor(content), (std::pair{360, 63 + 207 + 22}));
  showAndLayOut(content, 640, 100);

  // No window manager on the test display: where Xlib put it is where it is.
  EXPECT_EQ(testing::X11Input::rootPosition(GTK_WIDGET(shownPopup())), (std::pair{640 - 180, 100}));
}

TEST_F(TrayPopupTest, DrawsTheMenuRowsAndTheFooterAtTheDesktopsColours) {
  for (bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    Content content = twoProviders(dark);
    showAndLayOut(content);
    auto drawn = picture();
    const Config& config = content.config;
    EXPECT_EQ(
        differingPixels(drawn, 0,
                        ProviderRow::image(content.entries[0], config, 360, content.context), dark),
        0);
    EXPECT_EQ(
        differingPixels(drawn, 63,
                        ProviderRow::image(content.entries[1], config, 360, content.context), dark),
        0);
    EXPECT_EQ(differingPixels(drawn, 270, FooterRow::image(*content.footer, 360, dark), dark), 0);
    EXPECT_TRUE(
        readsAs({ProviderRow::accessibilityLabel(content.entries[0], now),
                 ProviderRow::accessibilityLabel(content.entries[1], now), *content.footer}));
    popup->close();
  }
}

TEST_F(TrayPopupTest, WithoutEntriesItSaysThereIsNoUsageData) {
  Content content;
  content.footer = "Updated 2m ago";
  showAndLayOut(content);
  EXPECT_EQ(popup->size(), (std::pair{360, TrayPopup::noDataHeight + 22}));
  // Something is written in the band above the footer.
  auto drawn = picture();
  int written = 0;
  for (int y = 0; y < TrayPopup::noDataHeight; ++y) {
    for (int x = 0; x < 360; ++x) written += drawn.pixel(x, y) != drawn.pixel(0, 0);
  }
  EXPECT_GT(written, 50);
  EXPECT_TRUE(readsAs({"No usage data", "Updated 2m ago"}));
}

TEST_F(TrayPopupTest, LosingTheFocusOrEscapeClosesIt) {
  showAndLayOut(twoProviders());
  waitForFocus();
  GtkWidget* other = gtk_window_new();
  gtk_window_present(GTK_WINDOW(other));
  EXPECT_TRUE(MainLoopWait::until([&] { return !popup->isShown(); }, 20));
  EXPECT_EQ(closings, 1);
  gtk_window_destroy(GTK_WINDOW(other));

  showAndLayOut(twoProviders());
  waitForFocus();
  // A real key press, through the X server as a keyboard's would come.
  if (std::string problem = testing::X11Input::pressEscape(GTK_WIDGET(shownPopup()));
      !problem.empty())
    GTEST_SKIP() << problem;
  EXPECT_TRUE(MainLoopWait::until([&] { return !popup->isShown(); }, 20));
  EXPECT_EQ(closings, 2);
}

TEST_F(TrayPopupTest, ANewReadingRedrawsTheOpenPopupAndShowingAgainReusesItsWindow) {
  // Opened from a panel at the bottom of the screen: above the pointer, and still so once taller.
  showAndLayOut(twoProviders(false, 20), 640, 1015);
  guint windows = toplevelCount();
  GtkWidget* shown = GTK_WIDGET(shownPopup());
  EXPECT_EQ(testing::X11Input::rootPosition(shown), (std::pair{460, 1015 - 292}));
  Content later = twoProviders(false, 80);
  later.entries.push_back(entry("Gemini", {window(5)}));
  popup->update(later);
  waitForSize(later);
  EXPECT_EQ(testing::X11Input::rootPosition(shown), (std::pair{460, 1015 - 292 - 63}));
  auto drawn = picture();
  EXPECT_EQ(
      differingPixels(
          drawn, 0, ProviderRow::image(later.entries[0], later.config, 360, later.context), false),
      0);

  // A closed popup stays closed.
  popup->close();
  popup->update(twoProviders());
  EXPECT_FALSE(popup->isShown());
  Content fewer = twoProviders();
  fewer.entries.pop_back();
  showAndLayOut(fewer);
  showAndLayOut(twoProviders());
  EXPECT_EQ(toplevelCount(), windows);
  EXPECT_EQ(closings, 1);
}

TEST_F(TrayPopupTest, Screenshots) {
  const char* folder = std::getenv("METERWRIGHT_SCREENSHOTS");
  if (!folder) GTEST_SKIP() << "METERWRIGHT_SCREENSHOTS names no folder to write them to";
  for (bool dark : {false, true}) {
    Content content = twoProviders(dark, 64);
    content.entries[0].plan = "Max";
    content.config.showPlanBadge = true;
    content.config.warnBelowRemainingPercent = 20;
    showAndLayOut(content);
    std::optional<std::string> png = popup->png();
    ASSERT_TRUE(png);
    testing::writeFile(
        std::filesystem::path(folder) / (dark ? "popup-dark.png" : "popup-light.png"), *png);
    popup->close();
  }
}

}  // namespace
}  // namespace meterwright
