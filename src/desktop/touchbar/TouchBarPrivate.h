#pragma once

#include <string>
#include <utility>
#include <vector>

// The bridge to the Touch Bar's private system interface (the Control Strip and the system-wide
// detail bar). Linux has no Touch Bar: the interface is never available, every call does nothing,
// and the diagnostics say so line by line.
namespace meterwright::TouchBarPrivate {

// Whether the private interface loaded: the settings and setup windows enable the Touch Bar
// options only then. Always false here.
bool available();

// The checks of the diagnostic report, in the report's order, each with whether it passed.
std::vector<std::pair<std::string, bool>> diagnostics();

}  // namespace meterwright::TouchBarPrivate
