#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/Environment.h"

// Desktop entries (.desktop files) as the XDG rules place them: the counterpart of an application
// bundle, found by its id in the data folders.
namespace meterwright::DesktopEntries {

// $XDG_DATA_HOME (else ~/.local/share), then each folder of $XDG_DATA_DIRS (else /usr/local/share
// and /usr/share); relative entries are ignored, as the rules say.
std::vector<std::filesystem::path> dataFolders(const Environment& environment);

// The entry with desktop-file id `id` ("org.gnome.Nautilus", with or without ".desktop"): the
// first applications/<id>.desktop in `dataFolders`, where a "-" in the id may also stand for a
// sub-folder. Nothing for an id that could name a path outside (a "/", "..", a NUL).
std::optional<std::filesystem::path> find(std::string_view id,
                                          const std::vector<std::filesystem::path>& dataFolders);

// The Icon key of the file's [Desktop Entry] group (an icon name or an absolute path); nothing
// when the file is no readable regular file of at most 256 KiB or has no Icon.
std::optional<std::string> icon(const std::filesystem::path& desktopFile);

}  // namespace meterwright::DesktopEntries
