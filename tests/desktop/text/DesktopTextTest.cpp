#include <gtest/gtest.h>

#include "desktop/text/DesktopText.h"
#include "support/StringBundleChecks.h"

namespace meterwright {
namespace {

// Lookups in the module's chosen language are checked through the executable (ExecutableTest).
TEST(DesktopText, ItsBundleHoldsGermanAndEnglishObjectsOfTexts) {
  testing::expectGermanAndEnglishObjectsOfTexts(desktopStringBundle());
}

}  // namespace
}  // namespace meterwright
