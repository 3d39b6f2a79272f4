#include "desktop/windows/GtkStart.h"

#include <gtk/gtk.h>

namespace meterwright::GtkStart {

bool ensure() {
  // Returns at once once GTK runs, and tries again after a failure (a display may appear later).
  return gtk_init_check();
}

}  // namespace meterwright::GtkStart
