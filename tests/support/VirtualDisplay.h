#pragma once

#include <optional>
#include <string>

#include "platform/process/ChildProcess.h"

namespace meterwright::testing {

// An X server of the test's own (Xvfb) on the first free display number, for tests that show
// windows or start programs that need a display. Stopped and reaped when dropped.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Why there is no display (Xvfb missing or failed); empty when it runs.
  const std::string& problem() const { return problem_; }
  // The DISPLAY value, ":N".
  const std::string& name() const { return name_; }

 private:
  std::optional<ChildProcess> server_;
  std::string name_;
  std::string problem_;
};

}  // namespace meterwright::testing
