#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace meterwright {

// One module's string tables, compiled into the executable: for each language code (the file name
// of resources/strings/<module>/<language>.json) the table's JSON text, an object of key → text.
struct StringBundle {
  std::string module;
  std::vector<std::pair<std::string, std::string_view>> tables;
};

// The core library's bundle (generated from resources/strings/core).
const StringBundle& coreStringBundle();

}  // namespace meterwright
