#pragma once

#include <algorithm>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/FileLocations.h"

// The command-line jobs, one function each; each returns the process's exit status.
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

// Exit status of a job whose work is not in this build yet.
inline constexpr int notBuiltStatus = 2;
// Exit status of a run whose arguments are not understood.
inline constexpr int usageStatus = 2;

int help(Context& context);
int config(Context& context);
int print(Context& context);
int json(Context& context);
int makeIcon(Context& context);
int makeAppIcon(Context& context);
int testNotification(Context& context);
int renewClaude(Context& context);
int diagnose(Context& context);
int icloudSelftest(Context& context);
int wakeSelftest(Context& context);
int preview(Context& context);
// Shows a pairing code until a device pairs with it (PairJob.cpp).
int pair(Context& context);
// The paired devices, and revoking one, on the store alone (DevicesJob.cpp).
int devices(Context& context);
int revoke(Context& context);
// No job option: the tray application.
int application(Context& context);
// An argument nothing understands: says which, points to --help, and exits 2.
int unknownOption(Context& context, const std::string& argument);

}  // namespace meterwright::Jobs
