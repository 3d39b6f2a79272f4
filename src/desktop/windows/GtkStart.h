#pragma once

// GTK is started only when a window is first shown: the tray application may run for days without
// opening one, and a process that never shows a window never opens a display.
namespace meterwright::GtkStart {

// Initialises GTK on the first call that finds a display; false while none can be opened.
bool ensure();

// Closes the display GTK opened, if any: before the private X server it is on is stopped. For a
// process that shows no window afterwards.
void closeDisplay();

}  // namespace meterwright::GtkStart
