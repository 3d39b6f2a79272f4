#pragma once

#include "desktop/app/StatusSurface.h"

namespace meterwright {

class TrayItem;

// The tray item as the controller's surface: what the controller shows becomes the item's
// properties and menu.
class TraySurface final : public StatusSurface {
 public:
  explicit TraySurface(TrayItem& tray) : tray_(tray) {}

  void show(const StatusPresentation& presentation, const TrayMenu& menu) override;

 private:
  TrayItem& tray_;
};

}  // namespace meterwright
