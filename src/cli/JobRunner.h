#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"

namespace meterwright::JobRunner {

// Start-up, then whichever job the arguments ask for, status-line jobs included. Returns the exit
// status. `arguments` excludes the program name.
int run(const std::vector<std::string>& arguments, const FileLocations& locations,
        std::ostream& out, std::ostream& err);

}  // namespace meterwright::JobRunner
