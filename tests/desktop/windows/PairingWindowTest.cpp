#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/lan/LocalNetworkSubscriber.h"
#include "desktop/windows/GtkOnVirtualDisplay.h"
#include "desktop/windows/MainThread.h"
#include "desktop/windows/PairingWindowController.h"
#include "desktop/windows/QrReader.h"
#include "desktop/windows/WindowStyle.h"
#include "platform/glib/MainLoopWait.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using Label = PairingWindowController::Label;
using Button = PairingWindowController::Button;
using WindowStyle::Tone;

// Whether GTK's colour is the tone's, within what the style sheet's text form rounds away.
::testing::AssertionResult hasTone(const std::optional<ColorToken>& colour, Tone tone, bool dark) {
  ColorToken expected = WindowStyle::colour(tone, dark);
  if (!colour) return ::testing::AssertionFailure() << "no colour";
  auto near = [](double a, double b) { return std::fabs(a - b) < 0.005; };
  if (near(colour->red, expected.red) && near(colour->green, expected.green) &&
      near(colour->blue, expected.blue) && near(colour->alpha, expected.alpha))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "colour " << colour->red << " " << colour->green << " " << colour->blue << " "
         << colour->alpha << ", not the tone's";
}

class PairingWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string& problem = testing::gtkOnVirtualDisplay(); !problem.empty())
      GTEST_SKIP() << problem;
    window = std::make_unique<PairingWindowController>(clock, false);
    window->makeInvitation = [this] {
      invitations.push_back({2, PairingCode::fresh(), addingSeconds(clock->now(), 60)});
      return invitations.back();
    };
    window->isListening = [] { return true; };
  }

  void TearDown() override {
    window.reset();
    // Lets GTK finish with the destroyed window before the next test's.
    MainLoopWait::run(0);
  }

  void showAndLayOut() {
    ASSERT_TRUE(window->show());
    ASSERT_TRUE(MainLoopWait::until([&] { return window->isLaidOut(); }, 20));
  }

  // What is on the clipboard as text; nothing when it holds no text.
  static std::optional<std::string> clipboardText() {
    GdkClipboard* clipboard = gdk_display_get_clipboard(gdk_display_get_default());
    struct Read {
      bool done = false;
      std::optional<std::string> text;
    } read;
    gdk_clipboard_read_text_async(
        clipboard, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* read = static_cast<Read*>(data);
          char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
          if (text) read->text = text;
          g_free(text);
          read->done = true;
        },
        &read);
    EXPECT_TRUE(MainLoopWait::until([&] { return read.done; }, 20));
    return read.text;
  }

  // Sets the clock so the code on screen has `seconds` left, and lets the window see it.
  void leaveSeconds(double seconds) {
    clock->set(addingSeconds(invitations.back().expiresAt, -seconds));
    window->tick();
  }

  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::vector<PairingInvitation> invitations;
  std::unique_ptr<PairingWindowController> window;
};

TEST_F(PairingWindowTest, TheQrCodeReadsAsTheInvitationLinkAndIsDrawnCrisply) {
  showAndLayOut();
  testing::TemporaryFolder folder;
  auto path = folder.path() / "qr.png";
  std::optional<std::string> png = window->qrPng();
  ASSERT_TRUE(png);
  testing::writeFile(path, *png);

  // Inside the light square every pixel is pure black or white: a module GTK scaled, or one
  // drawn across pixel edges, would leave grey.
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
  EXPECT_EQ(width, PairingWindowLayout::qrSide);
  EXPECT_EQ(height, PairingWindowLayout::qrSide);
  const unsigned char* data = cairo_image_surface_get_data(image);
  int stride = cairo_image_surface_get_stride(image);
  int inset = (PairingWindowLayout::qrSide - PairingWindowLayout::qrDrawnSide) / 2;
  int grey = 0;
  for (int y = inset; y < height - inset; ++y) {
    for (int x = inset; x < width - inset; ++x) {
      std::uint32_t pixel = *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
      if (pixel != 0xFF000000u && pixel != 0xFFFFFFFFu) ++grey;
    }
  }
  cairo_surface_destroy(image);
  EXPECT_EQ(grey, 0);

  testing::QrReading reading = testing::readQrCode(path);
  if (!reading.problem.empty()) GTEST_SKIP() << reading.problem;
  EXPECT_EQ(reading.text, invitations.back().encoded());
}

TEST_F(PairingWindowTest, TheCountdownTurnsOrangeUnderFifteenSeconds) {
  showAndLayOut();
  struct Case {
    double secondsLeft;
    const char* text;
    Tone tone;
  };
  const Case cases[] = {{15, "Expires in 15s", Tone::secondary},
                        {14.5, "Expires in 14s", Tone::orange}};
  for (bool dark : {false, true}) {
    window->setDark(dark);
    for (const Case& test : cases) {
      leaveSeconds(test.secondsLeft);
      EXPECT_EQ(window->text(Label::countdown), test.text);
      EXPECT_TRUE(hasTone(window->colour(Label::countdown), test.tone, dark))
          << test.secondsLeft << (dark ? " dark" : " light");
    }
  }
}

TEST_F(PairingWindowTest, CopyTakesTheCodeUntilItExpiresThenANewCodeReplacesIt) {
  showAndLayOut();
  window->click(Button::copyCode);
  EXPECT_EQ(clipboardText(), invitations.back().code.formatted());
  EXPECT_EQ(window->text(Label::status), "Copied — paste it in the app.");
  EXPECT_TRUE(hasTone(window->colour(Label::status), Tone::green, false));

  gdk_clipboard_set_text(gdk_display_get_clipboard(gdk_display_get_default()), "kept");
  leaveSeconds(0);
  EXPECT_EQ(window->text(Label::countdown), "This code has expired");
  EXPECT_EQ(window->text(Label::code), "");

  window->click(Button::copyCode);
  EXPECT_EQ(window->text(Label::status), "Make a new code first.");
  EXPECT_TRUE(hasTone(window->colour(Label::status), Tone::secondary, false));
  EXPECT_EQ(clipboardText(), "kept");

  leaveSeconds(-5);
  window->click(Button::newCode);
  ASSERT_EQ(invitations.size(), 2u);
  EXPECT_EQ(window->text(Label::code), invitations.back().code.formatted());
  EXPECT_EQ(window->text(Label::countdown), "Expires in 60s");
  EXPECT_EQ(window->text(Label::status), "");
}

TEST_F(PairingWindowTest, TheListeningNoticeShowsOnlyWhileTheListenerIsDown) {
  for (bool listening : {true, false}) {
    window->isListening = [listening] { return listening; };
    ASSERT_TRUE(window->show());
    EXPECT_EQ(window->text(Label::listening),
              listening ? "" : "Not listening on the local network yet.");
    EXPECT_EQ(window->text(Label::code), invitations.back().code.formatted());
  }
  EXPECT_TRUE(hasTone(window->colour(Label::listening), Tone::orange, false));
}

TEST_F(PairingWindowTest, IsFourHundredTwentyWideClosesAndReopensWithANewCode) {
  int closed = 0;
  window->onClosed = [&] { ++closed; };
  showAndLayOut();
  auto size = window->size();
  ASSERT_TRUE(size);
  EXPECT_EQ(size->first, PairingWindowLayout::width);
  EXPECT_GE(size->second, PairingWindowLayout::minimumHeight);
  window->close();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(window->isVisible());
  showAndLayOut();
  ASSERT_EQ(invitations.size(), 2u);
  EXPECT_EQ(window->text(Label::code), invitations.back().code.formatted());
}

// The cloud exchange, answered by hand: each call keeps its completion for the test to call.
class PairingWindowCloudTest : public PairingWindowTest {
 protected:
  void SetUp() override {
    PairingWindowTest::SetUp();
    if (IsSkipped()) return;
    window->pendingRequest = [this](auto done) { looks.push_back(std::move(done)); };
    window->approveRequest = [this](const CloudPairingRequest& request, auto done) {
      approved.push_back(request.deviceName);
      approvals.push_back(std::move(done));
    };
    window->declineRequest = [this](auto done) { declines.push_back(std::move(done)); };
    showAndLayOut();
  }

  void ticks(int count) {
    for (int i = 0; i < count; ++i) window->tick();
  }
  // The next look (due after two more ticks, show() ran one) answers with the request.
  void requestArrives(std::size_t look) {
    ticks(look == 0 ? 2 : 3);
    looks.at(look)(request);
    settle();
  }

  // Lets the window take up completions, which arrive through the main loop.
  void settle() {
    MainLoopWait::until([] { return !g_main_context_pending(nullptr); }, 5);
  }

  CloudPairingRequest request{2,     Uuid::random(),       "Anna’s iPad",
                              "ios", std::string(32, 'k'), dateFromUnixSeconds(1'700'000'000)};
  std::vector<PairingWindowController::Completion<std::optional<CloudPairingRequest>>> looks;
  std::vector<PairingWindowController::Completion<bool>> approvals;
  std::vector<std::function<void()>> declines;
  std::vector<std::string> approved;
};

TEST_F(PairingWindowCloudTest, LooksEveryThirdTickButNeverTwiceAtOnce) {
  // show() ran one tick.
  ticks(1);
  EXPECT_EQ(looks.size(), 0u);
  ticks(1);
  ASSERT_EQ(looks.size(), 1u);
  ticks(6);
  EXPECT_EQ(looks.size(), 1u) << "a look started while one was unanswered";

  // Answered from another thread, as a cloud folder read on a worker would.
  std::thread([&] { looks[0](request); }).join();
  EXPECT_TRUE(MainLoopWait::until([&] { return window->isRequestPanelVisible(); }, 10));
  EXPECT_EQ(window->text(Label::request), "Anna’s iPad is asking to show your readings");
  ticks(3);
  EXPECT_EQ(looks.size(), 2u);
  looks[1](std::nullopt);
  EXPECT_TRUE(MainLoopWait::until([&] { return !window->isRequestPanelVisible(); }, 10));
}

TEST_F(PairingWindowCloudTest, AFailedApprovalKeepsThePanelAndALaterOneReportsThePairing) {
  requestArrives(0);
  window->click(Button::approve);
  EXPECT_EQ(window->text(Label::request), "Approving…");
  ASSERT_EQ(approved, std::vector<std::string>{"Anna’s iPad"});
  approvals[0](false);
  settle();
  EXPECT_EQ(window->text(Label::request),
            "Could not answer through iCloud. Try again in a moment.");
  EXPECT_TRUE(window->isRequestPanelVisible());

  requestArrives(1);
  EXPECT_EQ(window->text(Label::request), "Anna’s iPad is asking to show your readings");
  window->click(Button::approve);
  approvals.at(1)(true);
  settle();
  EXPECT_FALSE(window->isRequestPanelVisible());
  EXPECT_EQ(window->text(Label::status), "Anna’s iPad is paired.");
  EXPECT_TRUE(hasTone(window->colour(Label::status), Tone::green, false));
}

TEST_F(PairingWindowCloudTest, IgnoreHidesThePanelOnceTheRequestIsDropped) {
  requestArrives(0);
  window->click(Button::ignore);
  ASSERT_EQ(declines.size(), 1u);
  settle();
  EXPECT_TRUE(window->isRequestPanelVisible());
  declines[0]();
  settle();
  EXPECT_FALSE(window->isRequestPanelVisible());
}

TEST_F(PairingWindowCloudTest, AnAnswerAfterTheWindowIsGoneIsDropped) {
  ticks(2);
  ASSERT_EQ(looks.size(), 1u);
  window.reset();
  looks[0](request);
  settle();
}

TEST_F(PairingWindowTest, ADevicePairedThroughThePublisherIsListedUntilRevoked) {
  auto publisher = std::make_shared<LocalNetworkPublisher>(
      PairingIdentity(Uuid::random(), "Studio"), clock, nullptr);

  // The owner's device list; touched on the main thread only.
  std::vector<PairedDevice> devices;
  window->makeInvitation = [&] { return publisher->makeInvitation(60); };
  window->isListening = [&] { return publisher->isAvailable(); };
  window->pairedDevices = [&] { return devices; };
  window->revokeDevice = [&](const Uuid& id) {
    publisher->revoke(id);
    std::erase_if(devices, [&](const PairedDevice& device) { return device.id == id; });
  };
  publisher->onDevicePaired = [&](const PairedDevice& device) {
    MainThread::post([&, device] {
      devices.push_back(device);
      window->devicePaired(device);
    });
  };
  ASSERT_TRUE(publisher->start(0, false).ok());
  ASSERT_TRUE(publisher->waitUntilReady(10));
  showAndLayOut();
  EXPECT_EQ(window->text(Label::listening), "");

  // The phone types the code it reads on screen.
  std::optional<PairingCode> code = PairingCode::parse(window->text(Label::code));
  ASSERT_TRUE(code);
  LocalNetworkSubscriber phone(PairingIdentity(Uuid::random(), "Anna’s iPhone"), "ios");
  std::atomic<bool> paired = false;
  phone.onPaired = [&](const SyncMessage::PairAccepted&, const SymmetricKey&) { paired = true; };
  phone.connect("127.0.0.1", *publisher->port(), *code);

  ASSERT_TRUE(MainLoopWait::until([&] { return window->text(Label::countdown) == "Done"; }, 20));
  EXPECT_TRUE(MainLoopWait::until([&] { return paired.load(); }, 20));
  EXPECT_EQ(window->text(Label::code), "");
  EXPECT_EQ(window->text(Label::status), "Anna’s iPhone is paired.");
  EXPECT_TRUE(window->isDeviceListVisible());
  EXPECT_EQ(window->text(Label::devicesHeading), "Receiving your readings (1)");
  using Row = std::pair<std::string, std::string>;
  EXPECT_EQ(window->deviceRows(), std::vector<Row>{Row("Anna’s iPhone", "last seen <1m ago")});

  window->clickRevoke(0);
  EXPECT_TRUE(devices.empty());
  EXPECT_TRUE(publisher->pairedDevices().empty());
  EXPECT_FALSE(window->isDeviceListVisible());
  EXPECT_TRUE(window->deviceRows().empty());
}

// Pictures of the window for people to look at, not checked: written, light and dark, with a
// device listed and a cloud request waiting, to the folder METERWRIGHT_SCREENSHOTS names.
TEST_F(PairingWindowTest, Screenshots) {
  const char* folder = std::getenv("METERWRIGHT_SCREENSHOTS");
  if (!folder) GTEST_SKIP() << "METERWRIGHT_SCREENSHOTS names no folder to write them to";
  PairedDevice device{Uuid::random(), "Anna’s iPhone", "ios", clock->now(),
                      addingSeconds(clock->now(), -300)};
  window->pairedDevices = [&] { return std::vector<PairedDevice>{device}; };
  window->isListening = [] { return false; };
  window->pendingRequest = [&](auto done) {
    done(CloudPairingRequest{2, Uuid::random(), "Anna’s Watch", "watchos", std::string(32, 'k'),
                             clock->now()});
  };
  for (bool dark : {false, true}) {
    window->setDark(dark);
    showAndLayOut();
    leaveSeconds(12);
    window->tick();
    window->tick();
    ASSERT_TRUE(MainLoopWait::until([&] { return window->isRequestPanelVisible(); }, 10));
    // A frame for the new layout, so the picture shows it.
    MainLoopWait::run(0.5);
    std::optional<std::string> png = window->windowPng();
    ASSERT_TRUE(png);
    testing::writeFile(
        std::filesystem::path(folder) / (dark ? "pairing-dark.png" : "pairing-light.png"), *png);
  }
}

}  // namespace
}  // namespace meterwright
