#include "desktop/windows/WindowStyleSheet.h"

#include <gtk/gtk.h>

#include "desktop/windows/WindowStyle.h"

namespace meterwright {

WindowStyleSheet::WindowStyleSheet(bool dark) : provider_(gtk_css_provider_new()) {
  gtk_style_context_add_provider_for_display(gdk_display_get_default(),
                                             GTK_STYLE_PROVIDER(provider_),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  setDark(dark);
}

WindowStyleSheet::~WindowStyleSheet() {
  gtk_style_context_remove_provider_for_display(gdk_display_get_default(),
                                                GTK_STYLE_PROVIDER(provider_));
  g_object_unref(provider_);
}

void WindowStyleSheet::setDark(bool dark) {
  gtk_css_provider_load_from_data(provider_, WindowStyle::stylesheet(dark).c_str(), -1);
  g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
}

}  // namespace meterwright
