#include "desktop/windows/ProvidersTabLayout.h"

#include <gtk/gtk.h>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/SettingsWindowLayout.h"
#include "desktop/windows/WindowStyle.h"

namespace meterwright::ProvidersTabLayout {

namespace {

using desktop::L;
namespace Layout = SettingsWindowLayout;

// The icon preview's side in points: the loader's 15-point picture of an application.
constexpr int iconSide = 18;

}  // namespace

GtkWidget* header(GtkWidget* page) {
  Layout::hint(page, L("settings.providers.hint",
                       "Uncheck a provider to remove it from the menu bar, dropdown and Touch "
                       "Bar."));
  GtkWidget* row = Layout::row(page);
  GtkWidget* button =
      gtk_button_new_with_label(L("settings.useRealIcons", "Use real app icons").c_str());
  gtk_box_append(GTK_BOX(row), button);
  Layout::hint(page, L("settings.icons.detects",
                       "Detects the desktop entries of Claude, Codex and ChatGPT on this "
                       "computer."));
  return button;
}

ProviderBlockWidgets block(GtkWidget* page, const ProviderBlockTexts& texts) {
  ProviderBlockWidgets w;
  gtk_box_append(GTK_BOX(page), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL));
  w.enabled = Layout::check(page, texts.label);
  gtk_widget_add_css_class(w.enabled, std::string(WindowStyle::largeClass).c_str());

  GtkWidget* fields = Layout::row(page);
  w.label = gtk_entry_new();
  gtk_editable_set_width_chars(GTK_EDITABLE(w.label), 10);
  gtk_box_append(GTK_BOX(fields), w.label);
  w.iconView = gtk_picture_new();
  gtk_widget_set_size_request(w.iconView, iconSide, iconSide);
  gtk_widget_set_valign(w.iconView, GTK_ALIGN_CENTER);
  gtk_picture_set_can_shrink(GTK_PICTURE(w.iconView), TRUE);
  gtk_box_append(GTK_BOX(fields), w.iconView);
  w.icon = gtk_entry_new();
  gtk_widget_set_hexpand(w.icon, TRUE);
  gtk_editable_set_width_chars(GTK_EDITABLE(w.icon), 12);
  gtk_box_append(GTK_BOX(fields), w.icon);
  w.chooseIcon = gtk_button_new_with_label(L("settings.icons.choose", "Choose\u2026").c_str());
  gtk_box_append(GTK_BOX(fields), w.chooseIcon);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  w.accent = gtk_color_button_new();
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_box_append(GTK_BOX(fields), w.accent);

  GtkWidget* windows = Layout::row(page);
  gtk_box_append(GTK_BOX(windows), Layout::caption(L("settings.windows", "Windows")));
  if (texts.windows) {
    for (const auto& [minutes, label] : *texts.windows) {
      GtkWidget* check = gtk_check_button_new_with_label(label.c_str());
      gtk_box_append(GTK_BOX(windows), check);
      w.windows.emplace_back(minutes, check);
    }
  } else {
    GtkWidget* pending =
        Layout::caption(L("settings.windows.pending", "reported once the provider connects"));
    gtk_widget_add_css_class(
        pending, std::string(WindowStyle::toneClass(WindowStyle::Tone::secondary)).c_str());
    gtk_box_append(GTK_BOX(windows), pending);
  }
  w.state = Layout::hint(page, texts.state);

  GtkWidget* every = Layout::row(page);
  gtk_box_append(GTK_BOX(every), Layout::caption(L("settings.checkEvery", "Check every")));
  w.checkEvery = Layout::popUp(texts.checkEvery);
  gtk_box_append(GTK_BOX(every), w.checkEvery);
  gtk_box_append(GTK_BOX(every), Layout::caption(texts.minimum));
  Layout::hint(page, texts.floorReason);
  if (texts.clampNotice) {
    GtkWidget* notice = Layout::hint(page, *texts.clampNotice);
    gtk_widget_remove_css_class(
        notice, std::string(WindowStyle::toneClass(WindowStyle::Tone::secondary)).c_str());
    gtk_widget_add_css_class(
        notice, std::string(WindowStyle::toneClass(WindowStyle::Tone::orange)).c_str());
  }
  return w;
}

void footer(GtkWidget* page) {
  gtk_box_append(GTK_BOX(page), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL));
  Layout::hint(page, L("settings.icons.field",
                       "Icon field accepts app:/path/to/entry.desktop, bundle:com.example.id, "
                       "file:/path, or a symbol name."));
}

}  // namespace meterwright::ProvidersTabLayout
