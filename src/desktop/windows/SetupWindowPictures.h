#pragma once

#include <memory>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/time/Clock.h"
#include "desktop/windows/SettingsWindowPictures.h"

namespace meterwright {
class CompositeSource;
}

// The setup assistant as GTK draws it, filled from this computer's state, in light and dark: for
// `--preview`. GTK must be able to open a display.
namespace meterwright::SetupWindowPictures {

// "setup-assistant-<light|dark>.png"; nothing when GTK cannot open a display. Setup is not marked
// completed, and no step's button is pressed.
std::vector<SettingsWindowPictures::Picture> render(
    const Config& config, std::shared_ptr<CompositeSource> source, const FileLocations& locations,
    const EnvironmentBlock& environment, std::shared_ptr<const Clock> clock, double scale);

}  // namespace meterwright::SetupWindowPictures
