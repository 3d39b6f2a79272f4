// meterwright-wake-helper: the one program the daily wake runs as root, through pkexec.

#include <iostream>
#include <string>
#include <vector>

#include "platform/power/WakeHelper.h"
#include "platform/process/ExecutableSearch.h"

int main(int argc, char** argv) {
  using namespace meterwright;
  // pkexec hands over a scrubbed environment; only the system's own folders are searched.
  EnvironmentBlock environment({"PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
  auto systemctl = ExecutableSearch::find({}, "systemctl", environment);
  if (!systemctl) {
    std::cout << "systemctl is not installed\n";
    return 1;
  }
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return WakeHelper::run(arguments, {"/etc/systemd/system", *systemctl, environment}, std::cout);
}
