#include "desktop/windows/PairingWindowController.h"

#include <gtk/gtk.h>

#include <utility>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/ButtonActions.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/MainThread.h"
#include "desktop/windows/PairingCountdown.h"
#include "desktop/windows/QrImage.h"
#include "desktop/windows/WidgetPicture.h"

namespace meterwright {

namespace {

using WindowStyle::Tone;
namespace Layout = PairingWindowLayout;

void setText(GtkWidget* label, const std::string& text) {
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

// Runs `action` on the main thread, unless the controller that `alive` belongs to has gone by
// then. Completions hold `alive` weakly: a strong copy would keep it past the controller.
template <typename Alive, typename Action>
void later(std::weak_ptr<Alive> alive, Action action) {
  MainThread::post([alive = std::move(alive), action = std::move(action)]() mutable {
    if (alive.lock()) action();
  });
}

}  // namespace

PairingWindowController::PairingWindowController(std::shared_ptr<const Clock> clock, bool dark)
    : clock_(std::move(clock)), dark_(dark) {}

PairingWindowController::~PairingWindowController() {
  stopTimer();
  if (window_) gtk_window_destroy(GTK_WINDOW(window_));
}

bool PairingWindowController::show() {
  if (!GtkStart::ensure()) return false;
  if (!window_) {
    style_.emplace(dark_);
    window_ = Layout::window();
    g_signal_connect(window_, "close-request",
                     G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                       auto* self = static_cast<PairingWindowController*>(data);
                       self->stopTimer();
                       if (self->onClosed) self->onClosed();
                       return FALSE;  // hidden, not destroyed: hide-on-close
                     }),
                     this);
  }
  invitation_ = makeInvitation ? std::optional(makeInvitation()) : std::nullopt;
  build();
  gtk_window_present(GTK_WINDOW(window_));

  stopTimer();
  // Milliseconds, not a seconds timeout: those are batched and may skip a second of the count.
  timer_ = g_timeout_add_full(
      G_PRIORITY_DEFAULT, 1000,
      [](gpointer data) -> gboolean {
        static_cast<PairingWindowController*>(data)->tick();
        return G_SOURCE_CONTINUE;
      },
      this, nullptr);
  return true;
}

void PairingWindowController::build() {
  widgets_ = Layout::content();
  rows_.clear();
  devicesHeading_ = nullptr;
  pending_.reset();
  gtk_drawing_area_set_draw_func(
      GTK_DRAWING_AREA(widgets_.qrView),
      [](GtkDrawingArea* area, cairo_t* cr, int width, int height, gpointer data) {
        const auto& qr = static_cast<PairingWindowController*>(data)->qr_;
        if (!qr) return;
        // Drawn in device pixels, so every module covers whole pixels at any scale.
        int scale = gtk_widget_get_scale_factor(GTK_WIDGET(area));
        int side = Layout::qrDrawnSide * scale;
        cairo_save(cr);
        cairo_scale(cr, 1.0 / scale, 1.0 / scale);
        cairo_translate(cr, (width * scale - side) / 2, (height * scale - side) / 2);
        QrImage::drawCentred(cr, *qr, side);
        cairo_restore(cr);
      },
      this, nullptr);
  bool listening = isListening && isListening();
  setText(
      widgets_.listeningLabel,
      listening ? "" : desktop::L("pair.notListening", "Not listening on the local network yet."));
  ButtonActions::onClicked(widgets_.newCodeButton, [this] { newCode(); });
  ButtonActions::onClicked(widgets_.copyCodeButton, [this] { copyCode(); });
  ButtonActions::onClicked(widgets_.approveButton, [this] { approve(); });
  ButtonActions::onClicked(widgets_.ignoreButton, [this] { ignore(); });
  gtk_window_set_child(GTK_WINDOW(window_), widgets_.content);
  // The code label would take the focus first, and a focused label shows its text selected.
  gtk_window_set_focus(GTK_WINDOW(window_), widgets_.newCodeButton);
  useInvitation(invitation_);
  populateDevices();
  tick();
}

void PairingWindowController::useInvitation(std::optional<PairingInvitation> invitation) {
  invitation_ = std::move(invitation);
  qr_ = invitation_ ? QrCode::encode(invitation_->encoded()) : std::nullopt;
  setText(widgets_.codeLabel, invitation_ ? invitation_->code.formatted() : "");
  gtk_widget_queue_draw(widgets_.qrView);
}

void PairingWindowController::tick() {
  if (!window_) return;
  if (pendingRequest && ++ticksSinceLook_ >= 3) {
    ticksSinceLook_ = 0;
    // A slow cloud folder must not pile up looks: the next starts once this one has answered.
    if (!looking_) {
      looking_ = true;
      pendingRequest(
          [this, alive = std::weak_ptr(alive_)](std::optional<CloudPairingRequest> request) {
            later(alive, [this, request = std::move(request)]() mutable {
              looking_ = false;
              showRequest(std::move(request));
            });
          });
    }
  }
  if (!invitation_) return;
  PairingCountdown countdown =
      PairingCountdown::at(secondsBetween(clock_->now(), invitation_->expiresAt));
  setText(widgets_.countdownLabel, countdown.text);
  Layout::setTone(widgets_.countdownLabel, countdown.tone);
  if (countdown.expired) {
    qr_.reset();
    setText(widgets_.codeLabel, "");
    gtk_widget_queue_draw(widgets_.qrView);
  }
}

void PairingWindowController::showRequest(std::optional<CloudPairingRequest> request) {
  pending_ = std::move(request);
  gtk_widget_set_visible(widgets_.requestBox, pending_.has_value());
  if (pending_) {
    setText(widgets_.requestLabel,
            desktop::L("pair.cloud.asking", "%@ is asking to show your readings",
                       pending_->deviceName));
  }
  // Return approves while a request is shown.
  gtk_window_set_default_widget(GTK_WINDOW(window_), pending_ ? widgets_.approveButton : nullptr);
}

void PairingWindowController::populateDevices() {
  GtkWidget* box = widgets_.devicesBox;
  while (GtkWidget* child = gtk_widget_get_first_child(box)) gtk_box_remove(GTK_BOX(box), child);
  rows_.clear();
  devicesHeading_ = nullptr;
  std::vector<PairedDevice> devices = pairedDevices ? pairedDevices() : std::vector<PairedDevice>{};
  gtk_widget_set_visible(box, !devices.empty());
  if (devices.empty()) return;
  devicesHeading_ = Layout::paragraph(PairedDeviceRow::heading(devices.size()),
                                      WindowStyle::largeClass, Tone::primary);
  gtk_box_append(GTK_BOX(box), devicesHeading_);
  Date now = clock_->now();
  for (const PairedDevice& device : devices) {
    PairedDeviceRowWidgets row = Layout::deviceRow(PairedDeviceRow::of(device, now));
    ButtonActions::onClicked(row.revokeButton, [this, id = device.id] {
      if (revokeDevice) revokeDevice(id);
      populateDevices();
    });
    gtk_box_append(GTK_BOX(box), row.row);
    rows_.push_back(row);
  }
  gtk_box_append(GTK_BOX(box),
                 Layout::paragraph(desktop::L("pair.devices.note",
                                              "Revoking drops the key agreed with that device. "
                                              "Anything it already received stops opening, and it "
                                              "has to be paired again with a new code."),
                                   WindowStyle::smallClass, Tone::tertiary));
}

void PairingWindowController::devicePaired(const PairedDevice& device) {
  if (!window_) return;
  populateDevices();
  setStatus(desktop::L("pair.cloud.paired", "%@ is paired.", device.name), Tone::green);
  // The publisher has consumed the code on screen.
  useInvitation(std::nullopt);
  PairingCountdown done = PairingCountdown::done();
  setText(widgets_.countdownLabel, done.text);
  Layout::setTone(widgets_.countdownLabel, done.tone);
}

void PairingWindowController::setStatus(const std::string& text, Tone tone) {
  setText(widgets_.statusLabel, text);
  Layout::setTone(widgets_.statusLabel, tone);
}

void PairingWindowController::newCode() {
  useInvitation(makeInvitation ? std::optional(makeInvitation()) : std::nullopt);
  setStatus("", Tone::secondary);
  tick();
}

void PairingWindowController::copyCode() {
  if (!invitation_ || invitation_->isExpired(clock_->now())) {
    setStatus(desktop::L("pair.copyExpired", "Make a new code first."), Tone::secondary);
    return;
  }
  gdk_clipboard_set_text(gtk_widget_get_clipboard(window_), invitation_->code.formatted().c_str());
  setStatus(desktop::L("pair.copied", "Copied — paste it in the app."), Tone::green);
}

void PairingWindowController::approve() {
  if (!pending_) return;
  CloudPairingRequest request = *pending_;
  setText(widgets_.requestLabel, desktop::L("pair.cloud.approving", "Approving…"));
  // Without anyone to answer through, the answer fails.
  auto answer = approveRequest
                    ? approveRequest
                    : [](const CloudPairingRequest&, Completion<bool> done) { done(false); };
  answer(request, [this, alive = std::weak_ptr(alive_), request](bool approved) {
    later(alive, [this, request, approved] {
      if (!approved) {
        setText(widgets_.requestLabel,
                desktop::L("pair.cloud.failed",
                           "Could not answer through iCloud. Try again in a moment."));
        return;
      }
      setStatus(desktop::L("pair.cloud.paired", "%@ is paired.", request.deviceName), Tone::green);
      showRequest(std::nullopt);
    });
  });
}

void PairingWindowController::ignore() {
  if (!declineRequest) {
    showRequest(std::nullopt);
    return;
  }
  declineRequest([this, alive = std::weak_ptr(alive_)] {
    later(alive, [this] { showRequest(std::nullopt); });
  });
}

void PairingWindowController::close() {
  if (window_) gtk_window_close(GTK_WINDOW(window_));
}

void PairingWindowController::stopTimer() {
  if (timer_) g_source_remove(timer_);
  timer_ = 0;
}

void PairingWindowController::setDark(bool dark) {
  dark_ = dark;
  if (style_) style_->setDark(dark);
}

bool PairingWindowController::isVisible() const {
  return window_ && gtk_widget_get_visible(window_);
}

// What tests and screenshots read.

GtkWidget* PairingWindowController::labelWidget(Label label) const {
  switch (label) {
    case Label::code:
      return widgets_.codeLabel;
    case Label::countdown:
      return widgets_.countdownLabel;
    case Label::listening:
      return widgets_.listeningLabel;
    case Label::status:
      return widgets_.statusLabel;
    case Label::request:
      return widgets_.requestLabel;
    case Label::devicesHeading:
      return devicesHeading_;
  }
  return nullptr;
}

std::string PairingWindowController::text(Label label) const {
  GtkWidget* widget = labelWidget(label);
  return widget ? gtk_label_get_text(GTK_LABEL(widget)) : "";
}

std::optional<ColorToken> PairingWindowController::colour(Label label) const {
  GtkWidget* widget = labelWidget(label);
  if (!widget) return std::nullopt;
  GdkRGBA rgba;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_style_context_get_color(gtk_widget_get_style_context(widget), &rgba);
  G_GNUC_END_IGNORE_DEPRECATIONS
  return ColorToken{rgba.red, rgba.green, rgba.blue, rgba.alpha};
}

bool PairingWindowController::isRequestPanelVisible() const {
  return widgets_.requestBox && gtk_widget_get_visible(widgets_.requestBox);
}

bool PairingWindowController::isDeviceListVisible() const {
  return widgets_.devicesBox && gtk_widget_get_visible(widgets_.devicesBox);
}

std::vector<std::pair<std::string, std::string>> PairingWindowController::deviceRows() const {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const PairedDeviceRowWidgets& row : rows_) {
    rows.emplace_back(gtk_label_get_text(GTK_LABEL(row.nameLabel)),
                      gtk_label_get_text(GTK_LABEL(row.detailLabel)));
  }
  return rows;
}

void PairingWindowController::click(Button button) {
  GtkWidget* widget = nullptr;
  switch (button) {
    case Button::newCode:
      widget = widgets_.newCodeButton;
      break;
    case Button::copyCode:
      widget = widgets_.copyCodeButton;
      break;
    case Button::approve:
      widget = widgets_.approveButton;
      break;
    case Button::ignore:
      widget = widgets_.ignoreButton;
      break;
  }
  ButtonActions::click(widget);
}

void PairingWindowController::clickRevoke(std::size_t row) {
  if (row < rows_.size()) ButtonActions::click(rows_[row].revokeButton);
}

bool PairingWindowController::isLaidOut() const {
  return isVisible() && gtk_widget_get_mapped(window_) && gtk_widget_get_width(widgets_.qrView) > 0;
}

std::optional<std::pair<int, int>> PairingWindowController::size() const {
  if (!isLaidOut()) return std::nullopt;
  return std::pair{gtk_widget_get_width(window_), gtk_widget_get_height(window_)};
}

std::optional<std::string> PairingWindowController::qrPng() const {
  return isLaidOut() ? WidgetPicture::png(widgets_.qrView) : std::nullopt;
}

std::optional<std::string> PairingWindowController::windowPng() const {
  return isLaidOut() ? WidgetPicture::png(window_) : std::nullopt;
}

}  // namespace meterwright
