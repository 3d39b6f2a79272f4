#include "desktop/windows/SettingsWindowLayout.h"

#include <gtk/gtk.h>

#include <string>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/WindowStyle.h"

namespace meterwright::SettingsWindowLayout {

namespace {

using desktop::L;

constexpr int margin = 18;
constexpr int gap = 8;

void addClass(GtkWidget* widget, std::string_view name) {
  gtk_widget_add_css_class(widget, std::string(name).c_str());
}

GtkWidget* label(std::string_view text) {
  GtkWidget* widget = gtk_label_new(std::string(text).c_str());
  gtk_label_set_xalign(GTK_LABEL(widget), 0);
  return widget;
}

// A page: its box, inside a view that scrolls vertically only, so the widest row sets the
// window's minimum width instead of being cut off.
GtkWidget* page(GtkWidget* tabs, std::string_view title) {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, gap);
  gtk_widget_set_margin_top(box, margin);
  gtk_widget_set_margin_bottom(box, margin);
  gtk_widget_set_margin_start(box, margin);
  gtk_widget_set_margin_end(box, margin);
  GtkWidget* scroller = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroller), TRUE);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), box);
  gtk_widget_set_vexpand(scroller, TRUE);
  gtk_notebook_append_page(GTK_NOTEBOOK(tabs), scroller, label(title));
  return box;
}

}  // namespace

GtkWidget* window() {
  GtkWidget* window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(window),
                       L("settings.window.title", "Meterwright Settings").c_str());
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
  gtk_window_set_hide_on_close(GTK_WINDOW(window), TRUE);
  return window;
}

SettingsFrameWidgets frame(std::string_view version) {
  SettingsFrameWidgets w;
  w.content = gtk_box_new(GTK_ORIENTATION_VERTICAL, gap);
  gtk_widget_set_margin_bottom(w.content, 12);
  w.tabs = gtk_notebook_new();
  w.display = page(w.tabs, L("settings.tab.display", "Display"));
  w.providers = page(w.tabs, L("settings.tab.providers", "Providers"));
  w.connections = page(w.tabs, L("settings.tab.connections", "Connections"));
  gtk_box_append(GTK_BOX(w.content), w.tabs);

  GtkWidget* previewTitle = label(L("settings.livePreview", "Live preview"));
  addClass(previewTitle, WindowStyle::smallClass);
  addClass(previewTitle, WindowStyle::toneClass(WindowStyle::Tone::secondary));
  gtk_widget_set_margin_start(previewTitle, margin);
  gtk_box_append(GTK_BOX(w.content), previewTitle);
  w.previewBox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_widget_set_margin_start(w.previewBox, margin);
  gtk_widget_set_size_request(w.previewBox, -1, 24);
  gtk_box_append(GTK_BOX(w.content), w.previewBox);
  w.versionLabel = label(L("settings.version", "Meterwright %@", std::string(version)));
  addClass(w.versionLabel, WindowStyle::smallClass);
  addClass(w.versionLabel, WindowStyle::toneClass(WindowStyle::Tone::tertiary));
  gtk_widget_set_margin_start(w.versionLabel, margin);
  gtk_box_append(GTK_BOX(w.content), w.versionLabel);
  return w;
}

RestartNoticeWidgets restartNotice(GtkWidget* parent) {
  RestartNoticeWidgets w;
  w.window = gtk_window_new();
  gtk_window_set_transient_for(GTK_WINDOW(w.window), GTK_WINDOW(parent));
  gtk_window_set_modal(GTK_WINDOW(w.window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(w.window), FALSE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(w.window), TRUE);
  gtk_window_set_title(GTK_WINDOW(w.window), "");
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_margin_top(box, 20);
  gtk_widget_set_margin_bottom(box, 16);
  gtk_widget_set_margin_start(box, 20);
  gtk_widget_set_margin_end(box, 20);
  gtk_widget_set_size_request(box, 320, -1);
  GtkWidget* title = label(L("settings.language.restart.title", "Reopen Meterwright to finish"));
  addClass(title, WindowStyle::largeClass);
  gtk_box_append(GTK_BOX(box), title);
  GtkWidget* body = label(L("settings.language.restart.body",
                            "The language is chosen when the app launches, so the windows already "
                            "open stay as they are. Quit and open Meterwright and everything will "
                            "be in the new one."));
  gtk_label_set_wrap(GTK_LABEL(body), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(body), 10);
  gtk_box_append(GTK_BOX(box), body);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  w.laterButton = gtk_button_new_with_label(L("common.later", "Later").c_str());
  w.quitButton =
      gtk_button_new_with_label(L("settings.language.restart.quit", "Quit Meterwright").c_str());
  gtk_box_append(GTK_BOX(buttons), w.laterButton);
  gtk_box_append(GTK_BOX(buttons), w.quitButton);
  gtk_box_append(GTK_BOX(box), buttons);
  gtk_window_set_child(GTK_WINDOW(w.window), box);
  gtk_window_set_default_widget(GTK_WINDOW(w.window), w.quitButton);
  gtk_window_present(GTK_WINDOW(w.window));
  return w;
}

GtkWidget* section(GtkWidget* page, std::string_view title) {
  GtkWidget* widget = label(title);
  addClass(widget, WindowStyle::largeClass);
  if (gtk_widget_get_first_child(page)) gtk_widget_set_margin_top(widget, 10);
  gtk_box_append(GTK_BOX(page), widget);
  return widget;
}

GtkWidget* hint(GtkWidget* page, std::string_view text) {
  GtkWidget* widget = label(text);
  gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(widget), PANGO_WRAP_WORD_CHAR);
  // A short natural width, so a long hint wraps at the page's width instead of widening it.
  gtk_label_set_max_width_chars(GTK_LABEL(widget), 10);
  addClass(widget, WindowStyle::smallClass);
  addClass(widget, WindowStyle::toneClass(WindowStyle::Tone::secondary));
  gtk_box_append(GTK_BOX(page), widget);
  return widget;
}

GtkWidget* check(GtkWidget* page, std::string_view text) {
  GtkWidget* widget = gtk_check_button_new_with_label(std::string(text).c_str());
  gtk_box_append(GTK_BOX(page), widget);
  return widget;
}

GtkWidget* row(GtkWidget* page) {
  GtkWidget* widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, gap);
  gtk_box_append(GTK_BOX(page), widget);
  return widget;
}

GtkWidget* caption(std::string_view text) {
  return label(text);
}

std::vector<GtkWidget*> segmented(GtkWidget* row, const std::vector<std::string>& labels) {
  GtkWidget* linked = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  addClass(linked, "linked");
  std::vector<GtkWidget*> buttons;
  for (const std::string& text : labels) {
    GtkWidget* button = gtk_toggle_button_new_with_label(text.c_str());
    if (!buttons.empty())
      gtk_toggle_button_set_group(GTK_TOGGLE_BUTTON(button), GTK_TOGGLE_BUTTON(buttons.front()));
    gtk_box_append(GTK_BOX(linked), button);
    buttons.push_back(button);
  }
  gtk_box_append(GTK_BOX(row), linked);
  return buttons;
}

GtkWidget* popUp(const std::vector<std::string>& labels) {
  std::vector<const char*> strings;
  for (const std::string& text : labels) strings.push_back(text.c_str());
  strings.push_back(nullptr);
  GtkWidget* widget = gtk_drop_down_new_from_strings(strings.data());
  return widget;
}

}  // namespace meterwright::SettingsWindowLayout
