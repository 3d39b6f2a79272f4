#include "desktop/windows/X11Input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/x11/gdkx.h>
#include <gtk/gtk.h>

namespace meterwright::testing::X11Input {

namespace {

Display* displayOf(GtkWidget* widget) {
  GdkDisplay* display = gtk_widget_get_display(widget);
  return GDK_IS_X11_DISPLAY(display) ? gdk_x11_display_get_xdisplay(display) : nullptr;
}

std::string pressKey(GtkWidget* onDisplayOf, KeySym key) {
  Display* display = displayOf(onDisplayOf);
  if (!display) return "not an X11 display";
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &error, &major, &minor))
    return "the X server has no XTEST extension to press a key with";
  KeyCode code = XKeysymToKeycode(display, key);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XFlush(display);
  return "";
}

}  // namespace

std::string pressEscape(GtkWidget* onDisplayOf) {
  return pressKey(onDisplayOf, XK_Escape);
}

std::string pressReturn(GtkWidget* onDisplayOf) {
  return pressKey(onDisplayOf, XK_Return);
}

std::optional<std::pair<int, int>> rootPosition(GtkWidget* window) {
  Display* display = displayOf(window);
  GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
  if (!display || !surface || !GDK_IS_X11_SURFACE(surface)) return std::nullopt;
  int x = 0, y = 0;
  Window child;
  if (!XTranslateCoordinates(display, gdk_x11_surface_get_xid(surface), DefaultRootWindow(display),
                             0, 0, &x, &y, &child))
    return std::nullopt;
  return std::pair{x, y};
}

}  // namespace meterwright::testing::X11Input
