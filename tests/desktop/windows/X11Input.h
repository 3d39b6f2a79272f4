#pragma once

#include <optional>
#include <string>
#include <utility>

typedef struct _GtkWidget GtkWidget;

// What the window tests ask the X server directly, apart from GTK (kept out of the tests
// themselves: Xlib's macros clash with GoogleTest's names).
namespace meterwright::testing::X11Input {

// Presses and releases Escape (or Return) through the XTEST extension, as a keyboard does. Empty
// when sent, else why not, for the skip.
std::string pressEscape(GtkWidget* onDisplayOf);
std::string pressReturn(GtkWidget* onDisplayOf);

// Where the server has the widget's window: its top-left corner on the root window.
std::optional<std::pair<int, int>> rootPosition(GtkWidget* window);

}  // namespace meterwright::testing::X11Input
