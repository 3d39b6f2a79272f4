#pragma once

#include <optional>
#include <string>

#include "platform/process/ChildProcess.h"

namespace meterwright {

// A private X server (Xvfb) on the first free display number: for `--preview` drawing windows on
// a machine without a display, and for tests that show windows or start programs that need one.
// Stopped and reaped when dropped.
class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Why there is no display (Xvfb missing or failed); empty when it runs.
  const std::string& problem() const { return problem_; }
  // The DISPLAY value, ":N".
  const std::string& name() const { return name_; }

 private:
  std::optional<ChildProcess> server_;
  std::string name_;
  std::string problem_;
};

}  // namespace meterwright
