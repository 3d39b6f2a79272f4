#include "desktop/windows/PairingCountdown.h"

#include <cmath>

#include "desktop/text/DesktopText.h"

namespace meterwright {

PairingCountdown PairingCountdown::at(double secondsLeft) {
  using WindowStyle::Tone;
  if (!(secondsLeft > 0)) {
    return {desktop::L("pair.codeExpired", "This code has expired"), Tone::secondary, true};
  }
  // A lifetime is a minute; anything longer is clamped only so the conversion stays defined.
  long long whole = static_cast<long long>(std::floor(std::fmin(secondsLeft, 1e12)));
  return {desktop::L("pair.expiresIn", "Expires in %ds", whole),
          secondsLeft < 15 ? Tone::orange : Tone::secondary, false};
}

PairingCountdown PairingCountdown::done() {
  return {desktop::L("pair.done", "Done"), WindowStyle::Tone::secondary, false};
}

}  // namespace meterwright
