#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"

// The configuration file's text: a lenient reader that fills defaults and migrates old values, and
// a writer whose output is stable byte for byte, so an unchanged file is never rewritten. Named as
// the convention atop core/sync/protocol/SyncCoding.h says.
namespace meterwright::ConfigCoding {

// Nothing when the text is not a JSON object, a key has the wrong type, `metric` is another word
// or a provider lacks its id; every other key may be missing and takes its default. `exists`
// decides which applications are installed, for icon defaults and migrations.
std::optional<Config> decodeConfig(std::string_view text,
                                   const PathExists& exists = pathExistsOnDisk);

// Pretty-printed, keys sorted at every level, "/" escaped as "\/", whole numbers without a
// fraction, a final line break. Nothing for text that is not valid UTF-8 or a NaN or infinite
// number.
std::optional<std::string> encode(const Config& config);

}  // namespace meterwright::ConfigCoding
