#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

// Where each desktop keeps its notification settings.
namespace meterwright::NotificationSettings {

// The program (absolute path) and arguments that open the notification settings of the desktop
// named in XDG_CURRENT_DESKTOP, when that desktop is known here and its program is on PATH.
std::optional<std::vector<std::string>> command(const EnvironmentBlock& environment);

}  // namespace meterwright::NotificationSettings
