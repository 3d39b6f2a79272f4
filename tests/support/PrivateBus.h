#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/process/ChildProcess.h"

namespace meterwright::testing {

// A dbus-daemon of the test's own, open to every connection and starting no services on demand
// (a notification daemon installed on the machine must not be activated behind a test's back).
// Stopped and reaped when dropped.
class PrivateBus {
 public:
  explicit PrivateBus(const std::filesystem::path& folder);
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // Why there is no bus (dbus-daemon missing or failed); empty when it runs.
  const std::string& problem() const { return problem_; }
  const std::string& address() const { return address_; }

  // Ends the daemon, as a bus that goes away under its clients.
  void stop();

 private:
  std::optional<ChildProcess> daemon_;
  std::string address_;
  std::string problem_;
};

}  // namespace meterwright::testing
