#include "desktop/windows/PairingWindowLayout.h"

#include <gtk/gtk.h>

#include <string>

#include "desktop/text/DesktopText.h"

namespace meterwright::PairingWindowLayout {

namespace {

using WindowStyle::Tone;

constexpr int spacing = 12;
constexpr int contentWidth = width - 24 - 24;
constexpr int wrapWidth = 344;

// Paragraphs and device rows are the wrapping width, centred in the content: as margins rather
// than a size request, so a long line cannot make its label wider.
void insetToWrapWidth(GtkWidget* widget) {
  gtk_widget_set_halign(widget, GTK_ALIGN_FILL);
  gtk_widget_set_margin_start(widget, (contentWidth - wrapWidth) / 2);
  gtk_widget_set_margin_end(widget, (contentWidth - wrapWidth) / 2);
}

GtkWidget* verticalBox(int gap) {
  return gtk_box_new(GTK_ORIENTATION_VERTICAL, gap);
}

void addClass(GtkWidget* widget, std::string_view name) {
  gtk_widget_add_css_class(widget, std::string(name).c_str());
}

GtkWidget* button(const std::string& text) {
  return gtk_button_new_with_label(text.c_str());
}

GtkWidget* buttonRow(GtkWidget* first, GtkWidget* second) {
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_widget_set_halign(row, GTK_ALIGN_CENTER);
  gtk_box_append(GTK_BOX(row), first);
  gtk_box_append(GTK_BOX(row), second);
  return row;
}

GtkWidget* label(std::string_view text, std::string_view sizeClass, Tone tone) {
  GtkWidget* widget = gtk_label_new(std::string(text).c_str());
  gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(widget), PANGO_WRAP_WORD_CHAR);
  // A short natural width, so a long text wraps at the width it is given instead of widening the
  // window.
  gtk_label_set_max_width_chars(GTK_LABEL(widget), 10);
  addClass(widget, sizeClass);
  setTone(widget, tone);
  return widget;
}

}  // namespace

GtkWidget* line(std::string_view text, std::string_view sizeClass, Tone tone) {
  GtkWidget* widget = label(text, sizeClass, tone);
  gtk_label_set_justify(GTK_LABEL(widget), GTK_JUSTIFY_CENTER);
  gtk_label_set_xalign(GTK_LABEL(widget), 0.5f);
  gtk_widget_set_halign(widget, GTK_ALIGN_FILL);
  return widget;
}

GtkWidget* paragraph(std::string_view text, std::string_view sizeClass, Tone tone) {
  GtkWidget* widget = label(text, sizeClass, tone);
  gtk_label_set_xalign(GTK_LABEL(widget), 0);
  insetToWrapWidth(widget);
  return widget;
}

void setTone(GtkWidget* widget, Tone tone) {
  for (Tone other : {Tone::primary, Tone::secondary, Tone::tertiary, Tone::orange, Tone::green})
    gtk_widget_remove_css_class(widget, std::string(WindowStyle::toneClass(other)).c_str());
  addClass(widget, WindowStyle::toneClass(tone));
}

GtkWidget* window() {
  GtkWidget* window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(window),
                       desktop::L("pair.window.title", "Sync to Your Devices").c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_hide_on_close(GTK_WINDOW(window), TRUE);
  return window;
}

PairingWindowWidgets content() {
  PairingWindowWidgets w;
  w.content = verticalBox(spacing);
  gtk_widget_set_margin_top(w.content, 22);
  gtk_widget_set_margin_start(w.content, 24);
  gtk_widget_set_margin_bottom(w.content, 20);
  gtk_widget_set_margin_end(w.content, 24);
  // The window is as tall as its content, but never shorter than this.
  gtk_widget_set_size_request(w.content, contentWidth, minimumHeight - 22 - 20);
  GtkBox* box = GTK_BOX(w.content);

  gtk_box_append(box, line(desktop::L("pair.heading", "Watch this computer from anywhere"),
                           WindowStyle::headingClass, Tone::primary));
  gtk_box_append(box, line(desktop::L("pair.devices", "iPhone · iPad · Apple Watch"),
                           WindowStyle::largeClass, Tone::secondary));
  gtk_box_append(box, paragraph(desktop::L("pair.instructions",
                                           "Install Meterwright on that device, open it, and "
                                           "either point it at this code or type the ten "
                                           "characters underneath."),
                                WindowStyle::bodyClass, Tone::secondary));

  w.qrView = gtk_drawing_area_new();
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(w.qrView), qrSide);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(w.qrView), qrSide);
  gtk_widget_set_halign(w.qrView, GTK_ALIGN_CENTER);
  addClass(w.qrView, WindowStyle::qrClass);
  gtk_box_append(box, w.qrView);

  w.codeLabel = gtk_label_new("");
  gtk_label_set_selectable(GTK_LABEL(w.codeLabel), TRUE);
  addClass(w.codeLabel, WindowStyle::codeClass);
  setTone(w.codeLabel, Tone::primary);
  gtk_box_append(box, w.codeLabel);

  gtk_box_append(box, line(desktop::L("pair.orType", "or type this code in the app"),
                           WindowStyle::bodyClass, Tone::secondary));
  w.countdownLabel = line("", WindowStyle::bodyClass, Tone::secondary);
  gtk_box_append(box, w.countdownLabel);
  w.listeningLabel = line("", WindowStyle::bodyClass, Tone::orange);
  gtk_box_append(box, w.listeningLabel);

  w.newCodeButton = button(desktop::L("pair.newCode", "New code"));
  w.copyCodeButton = button(desktop::L("pair.copyCode", "Copy code"));
  gtk_box_append(box, buttonRow(w.newCodeButton, w.copyCodeButton));

  w.statusLabel = line("", WindowStyle::smallClass, Tone::secondary);
  gtk_box_append(box, w.statusLabel);
  gtk_box_append(box, paragraph(desktop::L("pair.codeNote",
                                           "The code expires in a minute and pairs one device, "
                                           "then stops working. A wrong code cancels it "
                                           "immediately, so there is only ever one guess."),
                                WindowStyle::smallClass, Tone::tertiary));

  w.requestBox = verticalBox(8);
  w.requestLabel = paragraph("", WindowStyle::largeClass, Tone::primary);
  gtk_box_append(GTK_BOX(w.requestBox), w.requestLabel);
  w.approveButton = button(desktop::L("pair.cloud.approve", "Approve"));
  gtk_widget_add_css_class(w.approveButton, "suggested-action");
  w.ignoreButton = button(desktop::L("pair.cloud.ignore", "Ignore"));
  gtk_box_append(GTK_BOX(w.requestBox), buttonRow(w.approveButton, w.ignoreButton));
  gtk_box_append(GTK_BOX(w.requestBox), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL));
  gtk_box_append(GTK_BOX(w.requestBox),
                 paragraph(desktop::L("pair.cloud.why",
                                      "It has no camera to read a code with, so it asked through "
                                      "your iCloud account instead. Nothing secret was put there — "
                                      "only the public half of a key, which is useless on its "
                                      "own."),
                           WindowStyle::smallClass, Tone::tertiary));
  gtk_widget_set_visible(w.requestBox, FALSE);
  gtk_box_append(box, w.requestBox);

  w.devicesBox = verticalBox(8);
  gtk_widget_set_visible(w.devicesBox, FALSE);
  gtk_box_append(box, w.devicesBox);
  return w;
}

PairedDeviceRowWidgets deviceRow(const PairedDeviceRow& row) {
  PairedDeviceRowWidgets w;
  w.row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  insetToWrapWidth(w.row);
  GtkWidget* texts = verticalBox(2);
  gtk_widget_set_hexpand(texts, TRUE);
  w.nameLabel = gtk_label_new(row.name.c_str());
  gtk_label_set_xalign(GTK_LABEL(w.nameLabel), 0);
  gtk_label_set_ellipsize(GTK_LABEL(w.nameLabel), PANGO_ELLIPSIZE_END);
  gtk_label_set_max_width_chars(GTK_LABEL(w.nameLabel), 24);
  addClass(w.nameLabel, WindowStyle::largeClass);
  setTone(w.nameLabel, Tone::primary);
  w.detailLabel = gtk_label_new(row.detail.c_str());
  gtk_label_set_xalign(GTK_LABEL(w.detailLabel), 0);
  addClass(w.detailLabel, WindowStyle::smallClass);
  setTone(w.detailLabel, Tone::secondary);
  gtk_box_append(GTK_BOX(texts), w.nameLabel);
  gtk_box_append(GTK_BOX(texts), w.detailLabel);
  w.revokeButton = button(desktop::L("pair.devices.revoke", "Revoke"));
  gtk_widget_set_valign(w.revokeButton, GTK_ALIGN_CENTER);
  gtk_box_append(GTK_BOX(w.row), texts);
  gtk_box_append(GTK_BOX(w.row), w.revokeButton);
  return w;
}

}  // namespace meterwright::PairingWindowLayout
