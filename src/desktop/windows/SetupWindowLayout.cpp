#include "desktop/windows/SetupWindowLayout.h"

#include <gtk/gtk.h>

#include <string>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/PairingWindowLayout.h"
#include "desktop/windows/WindowStyle.h"

namespace meterwright::SetupWindowLayout {

namespace {

using WindowStyle::Tone;

constexpr int margin = 24;
constexpr int contentWidth = width - 2 * margin;
constexpr int subheadingWidth = 380;

void addClass(GtkWidget* widget, std::string_view name) {
  gtk_widget_add_css_class(widget, std::string(name).c_str());
}

// A left-aligned label that wraps at the width it is given rather than widening the window.
GtkWidget* text(const std::string& text, std::string_view sizeClass, Tone tone) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 10);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_widget_set_halign(label, GTK_ALIGN_FILL);
  addClass(label, sizeClass);
  PairingWindowLayout::setTone(label, tone);
  return label;
}

}  // namespace

GtkWidget* window() {
  GtkWidget* window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(window),
                       desktop::L("setup.window.title", "Welcome to Meterwright").c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_hide_on_close(GTK_WINDOW(window), TRUE);
  return window;
}

SetupWindowWidgets content() {
  SetupWindowWidgets w;
  w.content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_margin_top(w.content, 22);
  gtk_widget_set_margin_start(w.content, margin);
  gtk_widget_set_margin_bottom(w.content, 20);
  gtk_widget_set_margin_end(w.content, margin);
  // As tall as the steps need (German ones wrap to more lines), never shorter than this.
  gtk_widget_set_size_request(w.content, contentWidth, minimumHeight - 22 - 20);
  GtkBox* box = GTK_BOX(w.content);

  gtk_box_append(box, text(desktop::L("setup.heading", "Meterwright is setting itself up"),
                           WindowStyle::headingClass, Tone::primary));
  GtkWidget* subheading =
      text(desktop::L("setup.subheading",
                      "It found what it could on its own. Anything left needs your approval — "
                      "signing in to your own account is not something an app should do for "
                      "you."),
           WindowStyle::bodyClass, Tone::secondary);
  // Wraps at its own narrower width, as a subheading does.
  gtk_widget_set_margin_end(subheading, contentWidth - subheadingWidth);
  gtk_box_append(box, subheading);
  gtk_box_append(box, text(desktop::L("setup.keychainNotice",
                                      "Meterwright reads the sign-in Claude Code left on this "
                                      "computer in ~/.claude/.credentials.json; Linux does not "
                                      "ask first. It reads how much quota is left — never your "
                                      "code, your prompts or your conversations."),
                           WindowStyle::smallClass, Tone::tertiary));

  w.stepsBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
  gtk_widget_set_vexpand(w.stepsBox, TRUE);
  gtk_box_append(box, w.stepsBox);

  w.doneButton = gtk_button_new_with_label(desktop::L("common.done", "Done").c_str());
  gtk_widget_add_css_class(w.doneButton, "suggested-action");
  gtk_widget_set_halign(w.doneButton, GTK_ALIGN_END);
  gtk_box_append(box, w.doneButton);
  return w;
}

SetupStepRowWidgets stepRow(const Step& step) {
  SetupStepRowWidgets w;
  w.row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
  w.mark = gtk_label_new(step.done ? "\u2713" : "\u25CB");
  gtk_widget_set_valign(w.mark, GTK_ALIGN_START);
  addClass(w.mark, WindowStyle::largeClass);
  PairingWindowLayout::setTone(w.mark, step.done ? Tone::green : Tone::tertiary);
  gtk_box_append(GTK_BOX(w.row), w.mark);

  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  gtk_widget_set_hexpand(texts, TRUE);
  w.titleLabel = text(step.title, WindowStyle::largeClass, Tone::primary);
  w.detailLabel = text(step.detail, WindowStyle::smallClass, Tone::secondary);
  gtk_box_append(GTK_BOX(texts), w.titleLabel);
  gtk_box_append(GTK_BOX(texts), w.detailLabel);
  gtk_box_append(GTK_BOX(w.row), texts);

  if (step.action) {
    w.button = gtk_button_new_with_label(step.action->first.c_str());
    gtk_widget_set_valign(w.button, GTK_ALIGN_START);
    gtk_widget_set_sensitive(w.button, step.actionEnabled);
    gtk_box_append(GTK_BOX(w.row), w.button);
  }
  return w;
}

}  // namespace meterwright::SetupWindowLayout
