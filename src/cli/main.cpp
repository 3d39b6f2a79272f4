#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "core/files/FileLocations.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  auto locations = meterwright::FileLocations::fromProcessEnvironment();
  int status = meterwright::CommandLine::run(arguments, locations, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
