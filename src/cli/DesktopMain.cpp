#include <iostream>
#include <string>
#include <vector>

#include "cli/JobRunner.h"
#include "core/files/FileLocations.h"

// meterwright-desktop: every job, and the application. `meterwright` hands it the runs it does
// not do itself.
int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  auto locations = meterwright::FileLocations::fromProcessEnvironment();
  int status = meterwright::JobRunner::run(arguments, locations, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
