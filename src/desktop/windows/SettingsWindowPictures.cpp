#include "desktop/windows/SettingsWindowPictures.h"

#include <gtk/gtk.h>

#include "desktop/touchbar/TouchBarPrivate.h"
#include "desktop/windows/GtkStart.h"
#include "desktop/windows/SettingsController.h"
#include "desktop/windows/WidgetPicture.h"
#include "platform/glib/MainContextScheduler.h"
#include "platform/glib/MainLoopWait.h"

namespace meterwright::SettingsWindowPictures {

namespace {

// How long the window may take to be mapped and laid out.
constexpr double layoutDeadline = 10;

}  // namespace

std::vector<Picture> render(const Config& config, const std::optional<Snapshot>& snapshot,
                            const std::vector<SourceState>& sources, const FileLocations& locations,
                            std::shared_ptr<const Clock> clock, double scale) {
  std::vector<Picture> pictures;
  if (!GtkStart::ensure()) return pictures;
  for (bool dark : {false, true}) {
    SettingsController::Options options;
    options.locations = locations;
    options.clock = clock;
    options.scheduler = std::make_shared<MainContextScheduler>();
    options.dark = dark;
    options.touchBarSupported = TouchBarPrivate::available();
    options.version = METERWRIGHT_VERSION;
    SettingsController window(options);
    window.connections.sources = [&sources] { return sources; };
    if (!window.show(config, snapshot) ||
        !MainLoopWait::until([&] { return window.isLaidOut(); }, layoutDeadline))
      return pictures;
    const char* tabs[] = {"display", "providers", "connections"};
    for (int tab = 0; tab < 3; ++tab) {
      window.selectTab(tab);
      GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(window.frame().tabs), tab);
      MainLoopWait::until(
          [&] { return gtk_widget_get_mapped(page) && gtk_widget_get_width(page) > 0; },
          layoutDeadline);
      if (auto png = WidgetPicture::png(window.window(), scale))
        pictures.push_back(
            {std::string("settings-window-") + tabs[tab] + (dark ? "-dark.png" : "-light.png"),
             std::move(*png)});
    }
  }
  // Lets GTK finish with the destroyed windows.
  MainLoopWait::run(0);
  return pictures;
}

}  // namespace meterwright::SettingsWindowPictures
