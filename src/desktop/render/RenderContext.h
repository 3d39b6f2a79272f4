#pragma once

#include "core/time/Clock.h"
#include "desktop/render/IconLoader.h"

namespace meterwright {

// What every drawing needs besides its data: the appearance it is drawn in, the time its
// countdowns count from, and where icons come from.
struct RenderContext {
  bool dark = false;
  Date now;
  // The process environment's loader when not given (tests give one of their own).
  const IconLoader* icons = nullptr;

  const IconLoader& iconLoader() const { return icons ? *icons : IconLoader::standard(); }
};

}  // namespace meterwright
