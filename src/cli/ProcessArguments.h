#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace meterwright {

// The process arguments, kept for the whole run: the application controller and the diagnostics
// ask whether a modifier such as --allow-keychain was given.
namespace ProcessArguments {

void keep(std::vector<std::string> arguments);
const std::vector<std::string>& all();
// Whole-argument equality anywhere in the list (the program name is not an argument).
bool contains(std::string_view option);

}  // namespace ProcessArguments

}  // namespace meterwright
