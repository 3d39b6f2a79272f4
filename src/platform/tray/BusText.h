#pragma once

#include <string>
#include <string_view>

// D-Bus strings must be UTF-8, and GLib refuses (and a message would not carry) anything else.
// Menu and tooltip texts carry names from the configuration and from servers, so they are
// mended rather than trusted.
namespace meterwright::BusText {

// `text` with each invalid byte sequence replaced by U+FFFD.
std::string valid(std::string_view text);

}  // namespace meterwright::BusText
