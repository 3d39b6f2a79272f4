#pragma once

#include <filesystem>
#include <vector>

#include "core/settings/Environment.h"

// Where GTK keeps the desktop's look when no GTK is loaded to ask: its settings.ini files.
namespace meterwright::GtkSettings {

// The settings files in the order they are consulted: the user's ($XDG_CONFIG_HOME, else
// ~/.config) before the system's (/etc/xdg), GTK 4's before GTK 3's in each.
std::vector<std::filesystem::path> files(const Environment& environment);

}  // namespace meterwright::GtkSettings
