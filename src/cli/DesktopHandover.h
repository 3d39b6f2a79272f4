#pragma once

#include <iosfwd>

namespace meterwright::DesktopHandover {

// The program that runs every job that draws, uses the desktop session or is the application.
inline constexpr const char* programName = "meterwright-desktop";

// Replaces this process with that program, beside this one, with the same arguments. Returns
// only when it cannot be started: says why on `err` and returns the exit status 1.
int exec(char** argv, std::ostream& err);

}  // namespace meterwright::DesktopHandover
