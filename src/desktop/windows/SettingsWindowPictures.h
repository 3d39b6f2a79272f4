#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "desktop/windows/SettingsChoices.h"

// The settings window as GTK draws it, one picture per tab in light and dark: for `--preview` and
// the screenshots. GTK must be able to open a display.
namespace meterwright::SettingsWindowPictures {

struct Picture {
  // "settings-window-<tab>-<light|dark>.png"
  std::string name;
  std::string png;
};

// Nothing when GTK cannot open a display or the window is not laid out in time. Nothing is saved
// or applied: the window only shows `config`.
// `sources`: the states the Connections tab shows.
std::vector<Picture> render(const Config& config, const std::optional<Snapshot>& snapshot,
                            const std::vector<SourceState>& sources, const FileLocations& locations,
                            std::shared_ptr<const Clock> clock, double scale);

}  // namespace meterwright::SettingsWindowPictures
