#pragma once

#include "desktop/windows/SetupChecklist.h"

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The widgets of the setup assistant that its controller fills in or connects.
struct SetupWindowWidgets {
  GtkWidget* content = nullptr;
  // Holds one row per step, replaced on every refresh.
  GtkWidget* stepsBox = nullptr;
  GtkWidget* doneButton = nullptr;
};

// One step of the checklist.
struct SetupStepRowWidgets {
  GtkWidget* row = nullptr;
  GtkWidget* mark = nullptr;
  GtkWidget* titleLabel = nullptr;
  GtkWidget* detailLabel = nullptr;
  // Null when the step has no button.
  GtkWidget* button = nullptr;
};

// The setup assistant's widgets with their fixed texts; what the steps say and what the buttons
// do is the controller's.
namespace SetupWindowLayout {

inline constexpr int width = 520;
inline constexpr int minimumHeight = 470;

// Titled and closable, hidden rather than destroyed when closed.
GtkWidget* window();

// Top to bottom: heading, subheading, the note on Claude Code's sign-in, the steps, Done.
SetupWindowWidgets content();

// A row for one step: its mark, title, detail and, when it has one, its button.
SetupStepRowWidgets stepRow(const Step& step);

}  // namespace SetupWindowLayout
}  // namespace meterwright
