#pragma once

#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"

// Starting a program that is not waited for (a notification fallback, a settings panel): no
// shell, standard streams to the null device, and GLib's worker thread reaps the child when it
// exits, whether or not any main loop runs.
namespace meterwright::DetachedLaunch {

// `executable` is an absolute path; argv[0] is the executable. False when it could not start.
bool start(const std::string& executable, const std::vector<std::string>& arguments,
           const EnvironmentBlock& environment);

}  // namespace meterwright::DetachedLaunch
