#include "platform/power/WakeHelper.h"

#include <ostream>
#include <system_error>

#include "core/files/AtomicFile.h"
#include "platform/power/WakeUnits.h"
#include "platform/process/ProcessRun.h"

namespace meterwright::WakeHelper {

namespace {

// systemctl answers at once, or after a daemon-reload of a busy manager; never minutes.
constexpr double systemctlDeadline = 60;

bool systemctl(const Setup& setup, const std::vector<std::string>& arguments, std::ostream& out) {
  auto result = runCollectingOutput(setup.systemctl, arguments, setup.environment,
                                    systemctlDeadline, 2, 64 * 1024);
  if (result && result->exitStatus == 0) return true;
  std::string command = "systemctl";
  for (const auto& argument : arguments) command += " " + argument;
  out << command
      << (!result ? " could not be started"
          : result->timedOut
              ? " did not finish in time"
              : " failed (status " + std::to_string(result->exitStatus.value_or(-1)) + ")")
      << "\n";
  return false;
}

int install(const std::string& time, const Setup& setup, std::ostream& out) {
  auto timer = setup.unitFolder / WakeUnits::timerName;
  auto service = setup.unitFolder / WakeUnits::serviceName;
  if (!AtomicFile::write(service, WakeUnits::service()) ||
      !AtomicFile::write(timer, WakeUnits::timer(time))) {
    out << "could not write the units in " << setup.unitFolder.string() << "\n";
    return 1;
  }
  bool done = systemctl(setup, {"daemon-reload"}, out) &&
              systemctl(setup, {"enable", "--now", WakeUnits::timerName}, out) &&
              // A timer already running keeps its old elapse until restarted.
              systemctl(setup, {"restart", WakeUnits::timerName}, out);
  return done ? 0 : 1;
}

int remove(const Setup& setup, std::ostream& out) {
  auto timer = setup.unitFolder / WakeUnits::timerName;
  auto service = setup.unitFolder / WakeUnits::serviceName;
  std::error_code error;
  if (!std::filesystem::exists(timer, error)) return 0;
  if (!systemctl(setup, {"disable", "--now", WakeUnits::timerName}, out)) return 1;
  std::filesystem::remove(timer, error);
  std::filesystem::remove(service, error);
  return systemctl(setup, {"daemon-reload"}, out) ? 0 : 1;
}

}  // namespace

int run(const std::vector<std::string>& arguments, const Setup& setup, std::ostream& out) {
  if (arguments.size() == 2 && arguments[0] == "install") {
    if (!WakeUnits::isTimeOfDay(arguments[1])) {
      out << "not a time of day\n";
      return 2;
    }
    return install(arguments[1], setup, out);
  }
  if (arguments.size() == 1 && arguments[0] == "remove") return remove(setup, out);
  out << "usage: meterwright-wake-helper install HH:MM:SS | remove\n";
  return 2;
}

}  // namespace meterwright::WakeHelper
