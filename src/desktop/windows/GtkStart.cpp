#include "desktop/windows/GtkStart.h"

#include <gtk/gtk.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define METERWRIGHT_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define METERWRIGHT_ADDRESS_SANITIZER 1
#endif

#ifdef METERWRIGHT_ADDRESS_SANITIZER
// Fontconfig keeps its configuration and font patterns for the life of the process and never
// frees them, so every process that lays out a window's text would be reported. The text drawing
// (desktop/render/TextLine.cpp) says the same; weak here, so a program with both links one.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" __attribute__((weak)) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif

namespace meterwright::GtkStart {

bool ensure() {
  // Returns at once once GTK runs, and tries again after a failure (a display may appear later).
  return gtk_init_check();
}

void closeDisplay() {
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_close(display);
}

}  // namespace meterwright::GtkStart
