#include "platform/power/SleepSchedule.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/text/TextCase.h"
#include "platform/files/ProgramFiles.h"
#include "platform/power/WakeUnits.h"
#include "platform/process/ExecutableSearch.h"
#include "platform/process/ProcessRun.h"

namespace meterwright {

namespace {

constexpr std::size_t outputLimit = 64 * 1024;

// pkexec's own statuses: the prompt was dismissed, or no authorisation could be had.
constexpr int pkexecDismissed = 126;
constexpr int pkexecNotAuthorized = 127;

}  // namespace

SleepSchedule::SleepSchedule(const Clock& clock, Options options)
    : clock_(clock), options_(std::move(options)) {}

std::string SleepSchedule::helperBesideExecutable() {
  return ProgramFiles::besideThisProgram("meterwright-wake-helper").string();
}

std::optional<std::string> SleepSchedule::systemctl(const std::vector<std::string>& arguments) {
  auto program = ExecutableSearch::find({}, "systemctl", options_.environment);
  if (!program) return std::nullopt;
  auto result = runCollectingOutput(*program, arguments, options_.environment,
                                    options_.readDeadline, 1, outputLimit);
  if (!result || result->timedOut) return std::nullopt;
  return result->standardOutput;
}

std::optional<std::string> SleepSchedule::scheduledWake() {
  {
    std::lock_guard guard(lock_);
    if (readAt_ && secondsBetween(*readAt_, clock_.now()) < cacheSeconds) return stored_;
  }
  // Outside the lock: systemctl may take its time.
  std::optional<std::string> next;
  auto output =
      systemctl({"show", WakeUnits::timerName, "--property=NextElapseUSecRealtime", "--value"});
  if (output) {
    std::string value = TextCase::trimmed(*output);
    // An inactive or missing timer has no next elapse ("" or "n/a").
    // A line with control characters is no date systemd wrote.
    bool printable = std::none_of(value.begin(), value.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (!value.empty() && value != "n/a" && printable) next = value;
  }
  std::lock_guard guard(lock_);
  stored_ = next;
  readAt_ = clock_.now();
  return next;
}

bool SleepSchedule::sleepMasked() {
  auto output = systemctl({"is-enabled", "sleep.target", "suspend.target"});
  return output && output->find("masked") != std::string::npos;
}

std::optional<SleepSchedule::Failure> SleepSchedule::install(const std::string& time) {
  if (!WakeUnits::isTimeOfDay(time))
    return Failure{Failure::Kind::failed, time + " is not a time of day"};
  return privileged({"install", time});
}

std::optional<SleepSchedule::Failure> SleepSchedule::remove() {
  return privileged({"remove"});
}

std::optional<SleepSchedule::Failure> SleepSchedule::privileged(
    const std::vector<std::string>& arguments) {
  auto pkexec = ExecutableSearch::find({}, "pkexec", options_.environment);
  std::optional<ProcessRunResult> result;
  if (pkexec) {
    std::vector<std::string> command{options_.helper};
    command.insert(command.end(), arguments.begin(), arguments.end());
    result = runCollectingOutput(*pkexec, command, options_.environment,
                                 options_.privilegedDeadline, 2, outputLimit);
  }
  {
    // Whatever happened, the next read asks systemd again.
    std::lock_guard guard(lock_);
    readAt_.reset();
  }
  if (!pkexec) return Failure{Failure::Kind::failed, "pkexec is not installed"};
  if (!result) return Failure{Failure::Kind::failed, "pkexec could not be started"};
  if (result->timedOut) return Failure{Failure::Kind::failed, "no answer from the password prompt"};
  if (result->exitStatus == 0) return std::nullopt;
  if (result->exitStatus == pkexecDismissed) return Failure{Failure::Kind::cancelled, ""};
  if (result->exitStatus == pkexecNotAuthorized)
    return Failure{Failure::Kind::failed, "not authorised to change the wake schedule"};
  std::string message = TextCase::trimmed(result->standardOutput);
  if (message.empty())
    message = "the wake helper failed (" + std::to_string(result->exitStatus.value_or(-1)) + ")";
  return Failure{Failure::Kind::failed, message};
}

}  // namespace meterwright
