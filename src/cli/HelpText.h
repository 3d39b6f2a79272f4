#pragma once

#include <string>

namespace meterwright::HelpText {

// The text `--help` prints (without its final line break). It names only the public options.
std::string text();

}  // namespace meterwright::HelpText
