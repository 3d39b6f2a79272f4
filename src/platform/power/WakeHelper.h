#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

// The privileged half of the daily wake, run as root through pkexec by the program
// meterwright-wake-helper: "install HH:MM:SS" writes the units and enables the timer, "remove"
// disables it and deletes them. It trusts nothing of its arguments: the time is checked again
// here, and nothing else of the caller reaches a file or a command line.
namespace meterwright::WakeHelper {

struct Setup {
  // /etc/systemd/system for the real thing.
  std::filesystem::path unitFolder;
  // systemctl's absolute path.
  std::string systemctl;
  EnvironmentBlock environment;
};

// The exit status: 0 done, 1 failed (the reason written to `out`, one line), 2 bad arguments.
int run(const std::vector<std::string>& arguments, const Setup& setup, std::ostream& out);

}  // namespace meterwright::WakeHelper
