#pragma once

#include <string>

#include "desktop/windows/WindowStyle.h"

namespace meterwright {

// What the pairing window's countdown line says about the code on screen, and in which colour.
struct PairingCountdown {
  std::string text;
  WindowStyle::Tone tone = WindowStyle::Tone::secondary;
  // The code can no longer pair: the window drops its QR code and characters.
  bool expired = false;

  bool operator==(const PairingCountdown&) const = default;

  // "Expires in 14s" (the whole seconds left, fraction dropped), orange under 15 seconds so the
  // last ones stand out; at zero or less, or NaN, the code has expired.
  static PairingCountdown at(double secondsLeft);
  // After a device paired with the code.
  static PairingCountdown done();
};

}  // namespace meterwright
