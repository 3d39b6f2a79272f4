#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/DesktopHandover.h"
#include "cli/StatusLineJobs.h"
#include "core/files/FileLocations.h"

// The status-line program: runs --print, --json, --waybar, --follow, --config and --help itself
// and hands every other run to meterwright-desktop.
int main(int argc, char** argv) {
  using namespace meterwright;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CommandLine::Job job = CommandLine::dispatch(arguments);
  if (!StatusLineJobs::runsHere(job)) return DesktopHandover::exec(argv, std::cerr);

  auto locations = FileLocations::fromProcessEnvironment();
  CommandLine::prepare(locations);
  Jobs::Context context{arguments, locations, std::cout, std::cerr};
  int status = StatusLineJobs::run(job, context);
  std::cout.flush();
  return status;
}
