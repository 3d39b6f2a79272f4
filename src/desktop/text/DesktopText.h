#pragma once

#include <string>
#include <string_view>

#include "core/text/LocalizedModule.h"

namespace meterwright {

// The desktop layer's bundle (generated from resources/strings/desktop) and its texts.
const StringBundle& desktopStringBundle();
LocalizedModule& desktopText();

namespace desktop {

// The desktop layer's text for `key`: the launch language's translation, else `english`.
inline std::string L(std::string_view key, std::string_view english) {
  return desktopText().text(key, english);
}

template <typename... Args>
std::string L(std::string_view key, std::string_view english, const Args&... arguments) {
  return desktopText().text(key, english, arguments...);
}

}  // namespace desktop
}  // namespace meterwright
