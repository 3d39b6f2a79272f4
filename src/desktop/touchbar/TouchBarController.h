#pragma once

#include <functional>
#include <vector>

#include "core/config/Config.h"
#include "core/display/DisplayEntry.h"

namespace meterwright {

// Keeps what the Touch Bar would show and the callbacks the menu bar controller wires to it. The
// strip is installed only where the private interface exists (TouchBarPrivate), so on Linux it
// holds the latest entries and configuration and never installs anything.
class TouchBarController {
 public:
  TouchBarController();

  // After every reading, configuration change and Touch Bar option toggle.
  void update(std::vector<DisplayEntry> entries, Config config);
  // Adds the strip to the Control Strip when the private interface is there.
  void install();

  const std::vector<DisplayEntry>& entries() const { return entries_; }
  const Config& config() const { return config_; }
  bool installed() const { return installed_; }

  std::function<void()> onRefresh;
  std::function<void()> onOpenSettings;

 private:
  std::vector<DisplayEntry> entries_;
  Config config_;
  bool installed_ = false;
};

}  // namespace meterwright
