#include "desktop/touchbar/TouchBarController.h"

#include "desktop/touchbar/TouchBarPrivate.h"

namespace meterwright {

TouchBarController::TouchBarController() : config_(Config::fallback()) {}

void TouchBarController::update(std::vector<DisplayEntry> entries, Config config) {
  entries_ = std::move(entries);
  config_ = std::move(config);
  if (!config_.touchBar) {
    installed_ = false;
    return;
  }
  install();
}

void TouchBarController::install() {
  if (installed_ || !TouchBarPrivate::available()) return;
  installed_ = true;
}

}  // namespace meterwright
