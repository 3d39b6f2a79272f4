#pragma once

#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace meterwright {

// The Display tab's controls, in the order they are shown.
struct DisplayTabWidgets {
  std::vector<GtkWidget*> styleButtons;
  std::vector<GtkWidget*> metricButtons;
  GtkWidget* labelWindows = nullptr;
  GtkWidget* warnScale = nullptr;
  GtkWidget* warnValue = nullptr;
  GtkWidget* notify = nullptr;
  GtkWidget* sound = nullptr;
  GtkWidget* touchBarShow = nullptr;
  std::vector<GtkWidget*> touchBarStyleButtons;
  GtkWidget* redraw = nullptr;
  GtkWidget* staleAfter = nullptr;
  GtkWidget* pollingHint = nullptr;
  GtkWidget* language = nullptr;
};

// What the Display tab shows beyond its fixed texts.
struct DisplayTabTexts {
  bool touchBarSupported = false;
  std::string pollingSummary;
  // After "The system language": the endonyms of the available languages.
  std::vector<std::string> languages;
};

namespace DisplayTabLayout {

// Sections Menu bar, Alerts, Touch Bar, Updates and Language, appended to `page`.
DisplayTabWidgets build(GtkWidget* page, const DisplayTabTexts& texts);

}  // namespace DisplayTabLayout
}  // namespace meterwright
