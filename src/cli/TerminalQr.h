#pragma once

#include <string>
#include <vector>

#include "platform/qr/QrCode.h"

// A QR code drawn in a terminal with half blocks: each character cell holds two modules, one
// above the other, so modules come out about square. The quiet zone is part of the drawing.
namespace meterwright::TerminalQr {

// One string per text row, the character for each pair of modules: "█" both dark, "▀" the upper,
// "▄" the lower, " " neither. Dark is the foreground colour, light the background.
std::vector<std::string> rows(const QrCode& code);

// The rows as lines for a terminal. With `colours` each row is painted black on white, so the
// code reads the same on a dark terminal theme as on a light one; without, the terminal's own
// colours apply.
std::string text(const QrCode& code, bool colours);

}  // namespace meterwright::TerminalQr
