#pragma once

#include <string_view>

#include "desktop/windows/PairedDeviceRow.h"
#include "desktop/windows/WindowStyle.h"

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The widgets of the pairing window that its controller fills in or connects.
struct PairingWindowWidgets {
  GtkWidget* content = nullptr;
  GtkWidget* qrView = nullptr;
  GtkWidget* codeLabel = nullptr;
  GtkWidget* countdownLabel = nullptr;
  GtkWidget* listeningLabel = nullptr;
  GtkWidget* newCodeButton = nullptr;
  GtkWidget* copyCodeButton = nullptr;
  GtkWidget* statusLabel = nullptr;
  GtkWidget* requestBox = nullptr;
  GtkWidget* requestLabel = nullptr;
  GtkWidget* approveButton = nullptr;
  GtkWidget* ignoreButton = nullptr;
  GtkWidget* devicesBox = nullptr;
};

// One device of the list.
struct PairedDeviceRowWidgets {
  GtkWidget* row = nullptr;
  GtkWidget* nameLabel = nullptr;
  GtkWidget* detailLabel = nullptr;
  GtkWidget* revokeButton = nullptr;
};

// The pairing window's widgets, laid out with their fixed texts; what changes and what the
// buttons do is the controller's.
namespace PairingWindowLayout {

inline constexpr int width = 420;
inline constexpr int minimumHeight = 520;
// The QR code's light square, and the code drawn inside it.
inline constexpr int qrSide = 260;
inline constexpr int qrDrawnSide = 240;

// Titled and closable, hidden rather than destroyed when closed.
GtkWidget* window();

// The window's content, top to bottom: heading, devices, instructions, QR code, code, caption,
// countdown, listening notice, the New code and Copy code buttons, status, the code's note, the
// cloud request panel and the device list (both hidden).
PairingWindowWidgets content();

// One row for the device list; its texts are set here.
PairedDeviceRowWidgets deviceRow(const PairedDeviceRow& row);

// A centred line (wrapping only when it must) and a left-aligned paragraph of the wrapping width.
GtkWidget* line(std::string_view text, std::string_view sizeClass, WindowStyle::Tone tone);
GtkWidget* paragraph(std::string_view text, std::string_view sizeClass, WindowStyle::Tone tone);

// Gives a widget a tone's colour in place of the one it had.
void setTone(GtkWidget* widget, WindowStyle::Tone tone);

}  // namespace PairingWindowLayout
}  // namespace meterwright
