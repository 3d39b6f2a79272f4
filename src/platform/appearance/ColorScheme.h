#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/settings/Environment.h"

// Whether the desktop asks for dark or light: the counterpart of the system appearance. Never
// needs a display; the session bus is asked only when one is named, and never longer than the
// deadline.
namespace meterwright::ColorScheme {

// The XDG settings portal's org.freedesktop.appearance color-scheme when a session bus answers
// within `deadline` with a preference, else GTK's gtk-application-prefer-dark-theme setting, else
// light.
bool prefersDark(const Environment& environment,
                 std::chrono::milliseconds deadline = std::chrono::milliseconds(500));

// The portal's answer on the bus at `address`: true for dark, false for light, nothing for no
// preference, no portal, no bus or no answer in time.
std::optional<bool> portalPrefersDark(const std::string& address,
                                      std::chrono::milliseconds deadline);

// gtk-application-prefer-dark-theme from the user's (then the system's) GTK 4 or GTK 3
// settings.ini; nothing when no file says.
std::optional<bool> gtkPrefersDark(const Environment& environment);

}  // namespace meterwright::ColorScheme
