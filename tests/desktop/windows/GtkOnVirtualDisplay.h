#pragma once

#include <string>

namespace meterwright::testing {

// Starts an Xvfb display of this test process's own, points GTK at it (X11, GTK's in-process
// accessibility backend for tests, no accessibility bus, no session bus, the software renderer,
// settings in memory) and starts GTK. The display lives until the process ends. Empty when GTK
// runs, else why not, for the skip.
const std::string& gtkOnVirtualDisplay();

}  // namespace meterwright::testing
