#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/files/FileLocations.h"

namespace meterwright::CommandLine {

// What one run of the executable does: one command-line job, or the application.
enum class Job {
  help,
  config,
  print,
  json,
  makeIcon,
  makeAppIcon,
  testNotification,
  renewClaude,
  diagnose,
  icloudSelftest,
  wakeSelftest,
  preview,
  application,
};

// The job the arguments ask for: options match whole arguments anywhere in the list, the first
// in the dispatch order wins, and anything unrecognised (a typo, a stray word) starts the
// application.
Job dispatch(const std::vector<std::string>& arguments);

// Start-up, then the job: loads the configuration (creating the default file
// when there is none), applies the launch language, then dispatches. Returns the exit status.
// `arguments` excludes the program name.
int run(const std::vector<std::string>& arguments, const FileLocations& locations,
        std::ostream& out, std::ostream& err);

}  // namespace meterwright::CommandLine
