#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
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
  pair,
  devices,
  revoke,
  application,
  // An argument that is neither an option nor an option's value: a typo must not start the
  // tray application.
  unknownOption,
};

// The first argument that is no known option and not the value of one (the path after
// --make-icon or --make-app-icon, the device after --revoke), if any.
std::optional<std::string> unknownArgument(const std::vector<std::string>& arguments);

// The path given to a job option that takes one (--make-icon, --make-app-icon): the argument
// right after it, unless that is itself an option; nothing when there is none.
std::optional<std::string> pathAfter(const std::vector<std::string>& arguments,
                                     std::string_view option);

// The argument right after an option that takes a value (--revoke), whatever it looks like;
// nothing when the option is last.
std::optional<std::string> valueAfter(const std::vector<std::string>& arguments,
                                      std::string_view option);

// The job the arguments ask for: options match whole arguments anywhere in the list and the first
// in the dispatch order wins. Without a job option (no arguments, or modifiers such as
// --allow-keychain alone) the application starts.
Job dispatch(const std::vector<std::string>& arguments);

// Start-up before any job: loads the configuration (creating the default file when there is
// none) and applies the launch language, so every text a job produces is in it.
void prepare(const FileLocations& locations);

}  // namespace meterwright::CommandLine
