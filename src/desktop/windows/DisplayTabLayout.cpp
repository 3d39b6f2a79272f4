#include "desktop/windows/DisplayTabLayout.h"

#include <gtk/gtk.h>

#include "core/providers/PollingPolicy.h"
#include "desktop/text/DesktopText.h"
#include "desktop/windows/SettingsChoices.h"
#include "desktop/windows/SettingsWindowLayout.h"

namespace meterwright::DisplayTabLayout {

namespace {

using desktop::L;
namespace Layout = SettingsWindowLayout;

template <typename Entry>
std::vector<std::string> labels(const std::vector<Entry>& entries) {
  std::vector<std::string> texts;
  for (const Entry& entry : entries) texts.push_back(entry.label);
  return texts;
}

// A caption and a control on one row.
GtkWidget* labelled(GtkWidget* page, std::string_view text, GtkWidget* control) {
  GtkWidget* row = Layout::row(page);
  gtk_box_append(GTK_BOX(row), Layout::caption(text));
  gtk_box_append(GTK_BOX(row), control);
  return control;
}

}  // namespace

DisplayTabWidgets build(GtkWidget* page, const DisplayTabTexts& texts) {
  DisplayTabWidgets w;
  Layout::section(page, L("settings.section.menuBar", "Menu bar"));
  GtkWidget* style = Layout::row(page);
  gtk_box_append(GTK_BOX(style), Layout::caption(L("settings.style", "Style")));
  w.styleButtons = Layout::segmented(style, labels(SettingsChoices::menuBarStyles()));
  GtkWidget* show = Layout::row(page);
  gtk_box_append(GTK_BOX(show), Layout::caption(L("settings.show", "Show")));
  w.metricButtons = Layout::segmented(show, labels(SettingsChoices::metrics()));
  w.labelWindows = Layout::check(page, L("settings.labelWindows", "Label each window (5h, 7d)"));

  Layout::section(page, L("settings.section.alerts", "Alerts"));
  GtkWidget* warn = Layout::row(page);
  gtk_box_append(GTK_BOX(warn),
                 Layout::caption(L("settings.warnWhen", "Warn when a window has less than")));
  w.warnScale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 50, 5);
  gtk_scale_set_draw_value(GTK_SCALE(w.warnScale), FALSE);
  for (int tick = 0; tick <= 50; tick += 5)
    gtk_scale_add_mark(GTK_SCALE(w.warnScale), tick, GTK_POS_BOTTOM, nullptr);
  gtk_widget_set_hexpand(w.warnScale, TRUE);
  gtk_widget_set_size_request(w.warnScale, 140, -1);
  gtk_box_append(GTK_BOX(warn), w.warnScale);
  w.warnValue = Layout::caption("20%");
  gtk_label_set_width_chars(GTK_LABEL(w.warnValue), 4);
  gtk_box_append(GTK_BOX(warn), w.warnValue);
  gtk_box_append(GTK_BOX(warn), Layout::caption(L("settings.left", "left")));
  w.notify = Layout::check(
      page, L("settings.notify", "Send a notification when a window crosses that line"));
  w.sound = Layout::check(page, L("settings.sound", "Play a sound with it"));
  Layout::hint(page, L("settings.sound.hint",
                       "A quota running out behind a full-screen editor is worth hearing. Turn "
                       "this off and notifications still arrive, just silently."));

  Layout::section(page, L("settings.section.touchBar", "Touch Bar"));
  w.touchBarShow = Layout::check(page, L("settings.touchBar.show", "Show in Touch Bar"));
  GtkWidget* layout = Layout::row(page);
  gtk_box_append(GTK_BOX(layout), Layout::caption(L("settings.layout", "Layout")));
  w.touchBarStyleButtons = Layout::segmented(layout, labels(SettingsChoices::touchBarStyles()));
  gtk_widget_set_sensitive(w.touchBarShow, texts.touchBarSupported);
  gtk_widget_set_sensitive(layout, texts.touchBarSupported);
  Layout::hint(page, texts.touchBarSupported
                         ? L("settings.touchBar.tapHint", "Tap the Control Strip item to expand.")
                         : L("settings.touchBar.none", "No Touch Bar on Linux."));

  Layout::section(page, L("settings.section.updates", "Updates"));
  w.redraw = labelled(page, L("settings.redrawEvery", "Redraw the menu bar every"),
                      Layout::popUp(labels(SettingsChoices::redrawIntervals())));
  Layout::hint(page, PollingPolicy::redrawReason());
  w.staleAfter = labelled(page, L("settings.staleAfter", "Warn that data is stale after"),
                          Layout::popUp(labels(SettingsChoices::staleAfterMinutes())));
  Layout::hint(page, L("settings.stale.hint",
                       "The \u26A0 in the menu bar means no provider has answered for that long "
                       "\u2014 check Connections."));
  Layout::hint(page, PollingPolicy::manualReason());
  w.pollingHint = Layout::hint(page, texts.pollingSummary);

  Layout::section(page, L("settings.section.language", "Language"));
  std::vector<std::string> languages{L("settings.language.system", "The system language")};
  languages.insert(languages.end(), texts.languages.begin(), texts.languages.end());
  w.language =
      labelled(page, L("settings.language", "Show Meterwright in"), Layout::popUp(languages));
  Layout::hint(page, L("settings.language.hint",
                       "Your desktop can do this too, through the language of your session "
                       "(LANGUAGE, LANG). Either way the app has to be reopened: the language is "
                       "chosen once, at launch, before anything is drawn."));
  return w;
}

}  // namespace meterwright::DisplayTabLayout
