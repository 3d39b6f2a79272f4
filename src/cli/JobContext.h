#pragma once

#include <algorithm>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/FileLocations.h"

namespace meterwright::Jobs {

// What a job gets from the run: its arguments (the only route to them), the file locations and
// the two output streams.
struct Context {
  const std::vector<std::string>& arguments;
  const FileLocations& locations;
  std::ostream& out;
  std::ostream& err;

  // Whole-argument equality anywhere in the list, for modifiers such as --allow-keychain.
  bool has(std::string_view option) const {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
  }
};

// Exit status of a run whose arguments are not understood.
inline constexpr int usageStatus = 2;

}  // namespace meterwright::Jobs
