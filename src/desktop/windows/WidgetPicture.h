#pragma once

#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;

// What GTK draws for a widget, rendered off screen by the window's own renderer: for tests that
// read a window's pixels back and for screenshots.
namespace meterwright::WidgetPicture {

// PNG bytes at the widget's size in pixels; nothing before the widget is realised and allocated.
std::optional<std::string> png(GtkWidget* widget);

}  // namespace meterwright::WidgetPicture
