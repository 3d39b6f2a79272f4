#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/display/ColorToken.h"
#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairedDevice.h"
#include "core/sync/pairing/PairingInvitation.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/time/Clock.h"
#include "desktop/windows/PairingWindowLayout.h"
#include "desktop/windows/WindowStyleSheet.h"
#include "platform/qr/QrCode.h"

namespace meterwright {

// The window in which the user pairs a phone, tablet or watch: a fresh code as a QR code and as
// ten characters with a live countdown, New code and Copy code, the answer to a device that asked
// through iCloud (the cloud folder), and the paired devices with Revoke. It keeps no sync state of
// its own: everything goes through the callbacks, which its owner connects to the publisher, the
// device store and the sync manager.
//
// Lives on the main thread, GTK's. GTK is started when the window is first shown.
class PairingWindowController {
 public:
  // Hands a result back. Call it exactly once, from any thread, before or after the call that
  // received it returns; the window takes the result up on the main thread, and ignores it once
  // the controller is gone. (A look for a request that is never answered stops further looks.)
  template <typename Result>
  using Completion = std::function<void(Result)>;

  // `dark`: the desktop's colour scheme (ColorScheme::prefersDark).
  PairingWindowController(std::shared_ptr<const Clock> clock, bool dark);
  ~PairingWindowController();
  PairingWindowController(const PairingWindowController&) = delete;
  PairingWindowController& operator=(const PairingWindowController&) = delete;

  // A new code; wired to the publisher's makeInvitation with a lifetime of a minute.
  std::function<PairingInvitation()> makeInvitation;
  // Whether the local-network listener is up; a notice says so when it is not (or unset).
  std::function<bool()> isListening;
  // Oldest pairing first.
  std::function<std::vector<PairedDevice>()> pairedDevices;
  std::function<void(const Uuid&)> revokeDevice;
  // The user closed the window (it is hidden and kept for the next show). It must not destroy
  // the controller: GTK is still closing the window.
  std::function<void()> onClosed;
  // The cloud pairing request waiting for an answer, if any; asked every three seconds while the
  // window is open, never twice at once.
  std::function<void(Completion<std::optional<CloudPairingRequest>>)> pendingRequest;
  // Answers a request; true when the answer was written.
  std::function<void(const CloudPairingRequest&, Completion<bool>)> approveRequest;
  // Drops the waiting request.
  std::function<void(std::function<void()>)> declineRequest;

  // Opens or raises the window with a new code (replacing the publisher's current one) and starts
  // the one-second tick. False when GTK could not open a display.
  bool show();
  // A device has paired (called on the main thread).
  void devicePaired(const PairedDevice& device);
  // What the one-second timer does: the countdown, and every third time a look for a cloud
  // request.
  void tick();
  // As the user closing it: the timer stops and onClosed runs.
  void close();
  void setDark(bool dark);

  bool isVisible() const;

  // What tests and screenshots read, from the widgets themselves.
  enum class Label { code, countdown, listening, status, request, devicesHeading };
  std::string text(Label label) const;
  // The text colour GTK resolved for the label's style.
  std::optional<ColorToken> colour(Label label) const;
  bool isRequestPanelVisible() const;
  bool isDeviceListVisible() const;
  // Name and detail line of each device row, as shown.
  std::vector<std::pair<std::string, std::string>> deviceRows() const;
  enum class Button { newCode, copyCode, approve, ignore };
  // Activates the button as a click does.
  void click(Button button);
  void clickRevoke(std::size_t row);
  // Shown and allocated, so it can be drawn.
  bool isLaidOut() const;
  // The window's size in points; nothing before it is laid out.
  std::optional<std::pair<int, int>> size() const;
  // GTK's own rendering of the QR view, or of the whole window, as PNG bytes.
  std::optional<std::string> qrPng() const;
  std::optional<std::string> windowPng() const;

 private:
  struct Alive {};

  void build();
  GtkWidget* labelWidget(Label label) const;
  void useInvitation(std::optional<PairingInvitation> invitation);
  void populateDevices();
  void showRequest(std::optional<CloudPairingRequest> request);
  void setStatus(const std::string& text, WindowStyle::Tone tone);
  void stopTimer();
  void newCode();
  void copyCode();
  void approve();
  void ignore();
  std::shared_ptr<const Clock> clock_;
  bool dark_;
  GtkWidget* window_ = nullptr;
  std::optional<WindowStyleSheet> style_;
  unsigned timer_ = 0;
  PairingWindowWidgets widgets_;
  std::vector<PairedDeviceRowWidgets> rows_;
  GtkWidget* devicesHeading_ = nullptr;
  std::optional<PairingInvitation> invitation_;
  std::optional<QrCode> qr_;
  std::optional<CloudPairingRequest> pending_;
  int ticksSinceLook_ = 0;
  bool looking_ = false;
  // Completions hold it weakly: once it is gone, they find nothing to update.
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

}  // namespace meterwright
