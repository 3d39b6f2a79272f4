#pragma once

#include <filesystem>

// The Touch Bar switch written into the configuration file without touching anything else in it.
namespace meterwright::TouchBarPreference {

// Sets "touchBar" in the file's JSON object and writes it back pretty-printed with sorted keys,
// atomically. A missing or unreadable file, text that is not a JSON object, or a failed write
// leaves the file as it was; false then.
bool persist(const std::filesystem::path& configFile, bool enabled);

}  // namespace meterwright::TouchBarPreference
