#include "desktop/windows/ButtonActions.h"

#include <gtk/gtk.h>

namespace meterwright::ButtonActions {

void onClicked(GtkWidget* button, std::function<void()> action) {
  g_signal_connect_data(
      button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
        (*static_cast<std::function<void()>*>(data))();
      }),
      new std::function<void()>(std::move(action)),
      [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); },
      GConnectFlags(0));
}

void click(GtkWidget* button) {
  if (button && gtk_widget_is_drawable(button) && gtk_widget_is_sensitive(button))
    g_signal_emit_by_name(button, "clicked");
}

}  // namespace meterwright::ButtonActions
