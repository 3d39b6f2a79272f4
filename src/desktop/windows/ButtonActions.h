#pragma once

#include <functional>

typedef struct _GtkWidget GtkWidget;

// What the windows' buttons do, as closures the buttons own.
namespace meterwright::ButtonActions {

// `action` runs on each click; it is owned by the button, so it goes when the content is rebuilt.
void onClicked(GtkWidget* button, std::function<void()> action);

// What a click does, now: a button's keyboard activation would wait for its pressed look to end
// first. Nothing for a button the user could not reach.
void click(GtkWidget* button);

}  // namespace meterwright::ButtonActions
