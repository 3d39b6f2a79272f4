#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/EnvironmentBlock.h"
#include "core/time/Clock.h"

namespace meterwright {

// The machine's daily wake: the systemd timer meterwright-wake.timer, read with systemctl and
// changed with an administrator's consent through pkexec running meterwright-wake-helper (an
// argument list, never a shell line). Reading and changing block the caller until systemctl, the
// helper or the password prompt finishes, each within a deadline: call them from a job or a
// worker thread, not from the main loop.
class SleepSchedule {
 public:
  struct Failure {
    enum class Kind {
      // The administrator prompt was dismissed: not an error to show.
      cancelled,
      failed,
    };
    Kind kind;
    // For `failed`: what went wrong, for people.
    std::string message;

    bool operator==(const Failure&) const = default;
  };

  struct Options {
    // PATH for pkexec and systemctl.
    EnvironmentBlock environment;
    // The helper's absolute path (pkexec runs nothing else).
    std::string helper;
    // A person types a password meanwhile.
    double privilegedDeadline = 300;
    double readDeadline = 5;
  };

  // Reads are cached this long.
  static constexpr double cacheSeconds = 10;

  SleepSchedule(const Clock& clock, Options options);

  // The helper beside the running executable.
  static std::string helperBesideExecutable();

  // When the timer next wakes the machine, as systemd writes it; nothing without an active
  // timer.
  std::optional<std::string> scheduledWake();

  // Wakes the machine every day at `time` (HH:MM:SS). A time that is not one runs nothing.
  std::optional<Failure> install(const std::string& time);
  // Ends the daily wake.
  std::optional<Failure> remove();

  // Whether systemd's sleep targets are masked, so the machine cannot suspend at all.
  bool sleepMasked();

 private:
  std::optional<Failure> privileged(const std::vector<std::string>& arguments);
  std::optional<std::string> systemctl(const std::vector<std::string>& arguments);

  const Clock& clock_;
  Options options_;
  std::mutex lock_;
  std::optional<Date> readAt_;
  std::optional<std::string> stored_;
};

}  // namespace meterwright
