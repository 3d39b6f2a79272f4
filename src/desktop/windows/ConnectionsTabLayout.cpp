#include "desktop/windows/ConnectionsTabLayout.h"

#include <gtk/gtk.h>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/SettingsWindowLayout.h"

namespace meterwright::ConnectionsTabLayout {

namespace {

using desktop::L;
namespace Layout = SettingsWindowLayout;

}  // namespace

ConnectionsTabWidgets build(GtkWidget* page, const ConnectionsTabTexts& texts) {
  ConnectionsTabWidgets w;
  Layout::section(page, L("settings.section.directConnections", "Direct connections"));
  Layout::hint(page, L("settings.direct.hint",
                       "Meterwright reads each provider itself. Credentials stay on this computer "
                       "and are only sent to that provider."));
  w.claudeDirect = Layout::check(
      page, L("settings.readClaudeDirectly", "Read Claude usage directly from Anthropic"));
  Layout::hint(page, L("settings.claudeDirect.hint",
                       "Reads the Claude Code sign-in file once (~/.claude/.credentials.json). "
                       "Turn off and Claude simply stops reporting \u2014 no prompt."));
  for (const auto& [name, line] : texts.sources) {
    GtkWidget* title = Layout::caption(name);
    gtk_widget_set_margin_top(title, 6);
    gtk_box_append(GTK_BOX(page), title);
    w.sourceLines.push_back(Layout::hint(page, line));
  }
  GtkWidget* row = Layout::row(page);
  w.recheck = gtk_button_new_with_label(L("settings.recheck", "Re-check now").c_str());
  gtk_box_append(GTK_BOX(row), w.recheck);
  // Shown once Re-check has been used.
  w.recheckStatus = Layout::hint(page, "");
  gtk_widget_set_visible(w.recheckStatus, FALSE);

  Layout::section(page, L("settings.section.unattended", "Unattended reporting"));
  Layout::hint(page, L("settings.unattended.hint",
                       "The Claude sign-in lasts about eight hours, and only Claude Code renews "
                       "it. While it is valid Meterwright reports Claude on its own; once it "
                       "lapses, Claude reports again after the next time Claude Code runs."));
  w.token = Layout::hint(page, texts.token.value_or(""));
  gtk_widget_set_visible(w.token, texts.token.has_value());

  Layout::section(page, L("settings.section.touchBar", "Touch Bar"));
  Layout::hint(page, texts.touchBarSupported
                         ? L("settings.touchBar.available", "Control Strip integration available")
                         : L("settings.touchBar.unavailable", "Not available on Linux"));
  GtkWidget* reveal = Layout::row(page);
  w.reveal = gtk_button_new_with_label(L("settings.revealConfig", "Reveal config file").c_str());
  gtk_box_append(GTK_BOX(reveal), w.reveal);
  return w;
}

}  // namespace meterwright::ConnectionsTabLayout
