#include "desktop/text/DesktopText.h"

namespace meterwright {

LocalizedModule& desktopText() {
  static LocalizedModule module(desktopStringBundle());
  return module;
}

}  // namespace meterwright
