#pragma once

#include <iosfwd>

#include "core/files/FileLocations.h"

namespace meterwright::Application {

// The application as `meterwright` with no job runs it, on the GLib main loop: the controller,
// the tray item when a host shows one (headless otherwise, saying once on `err` what is missing),
// the popup, the pairing window and the control socket. Returns the exit status when the loop
// ends: Quit, SIGINT or SIGTERM give 0.
//
// A second start is the caller's to settle first: this takes the control socket as its own.
int run(const FileLocations& locations, std::ostream& err);

}  // namespace meterwright::Application
