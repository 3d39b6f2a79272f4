#pragma once

#include <filesystem>
#include <string_view>

// Where this installation's programs are: they are installed side by side (meterwright, the
// meterwright-desktop it hands jobs to, the wake helper).
namespace meterwright::ProgramFiles {

// The running program's own file.
std::filesystem::path thisProgram();

// A file named `name` in the running program's folder.
std::filesystem::path besideThisProgram(std::string_view name);

// The program a user starts: `meterwright` beside the running one when it is there, else the
// running program. What autostart entries and the like should name.
std::filesystem::path commandLineProgram();

}  // namespace meterwright::ProgramFiles
