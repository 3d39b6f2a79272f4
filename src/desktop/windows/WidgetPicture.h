#pragma once

#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;

// What GTK draws for a widget, rendered off screen by the window's own renderer: for tests that
// read a window's pixels back and for screenshots.
namespace meterwright::WidgetPicture {

// PNG bytes at the widget's size times `scale` in pixels (drawn at that scale, not enlarged);
// nothing before the widget is realised and allocated.
std::optional<std::string> png(GtkWidget* widget, double scale = 1);

}  // namespace meterwright::WidgetPicture
