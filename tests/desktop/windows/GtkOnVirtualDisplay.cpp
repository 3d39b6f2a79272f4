#include "desktop/windows/GtkOnVirtualDisplay.h"

#include <cstdlib>
#include <memory>

#include "desktop/windows/GtkStart.h"
#include "support/VirtualDisplay.h"

namespace meterwright::testing {

const std::string& gtkOnVirtualDisplay() {
  static VirtualDisplay display;
  static const std::string problem = [] {
    if (!display.problem().empty()) return display.problem();
    setenv("DISPLAY", display.name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("GDK_BACKEND", "x11", 1);
    // The test backend keeps what a screen reader would be told, for the tests to read back.
    setenv("GTK_A11Y", "test", 1);
    // Software drawing only: the same pixels on every machine, and no GL driver loaded and
    // unloaded behind the leak checker's back.
    setenv("GSK_RENDERER", "cairo", 1);
    setenv("GDK_DEBUG", "gl-disable", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    // Nothing of the user's session: no bus to find, and none started on demand for the display.
    std::string noBus = std::string("unix:path=") + std::getenv("HOME") + "/no-session-bus";
    setenv("DBUS_SESSION_BUS_ADDRESS", noBus.c_str(), 1);
    if (!GtkStart::ensure()) return "GTK cannot open the display " + display.name();
    return std::string();
  }();
  return problem;
}

}  // namespace meterwright::testing
