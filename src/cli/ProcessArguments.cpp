#include "cli/ProcessArguments.h"

#include <algorithm>

namespace meterwright::ProcessArguments {

namespace {

// Written once at start-up, before any other thread exists; read-only afterwards.
std::vector<std::string>& storage() {
  static std::vector<std::string> arguments;
  return arguments;
}

}  // namespace

void keep(std::vector<std::string> arguments) {
  storage() = std::move(arguments);
}

const std::vector<std::string>& all() {
  return storage();
}

bool contains(std::string_view option) {
  const auto& arguments = storage();
  return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

}  // namespace meterwright::ProcessArguments
