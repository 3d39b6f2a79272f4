#include <gtest/gtest.h>

#include "desktop/text/DesktopText.h"
#include "support/StringBundleChecks.h"

namespace meterwright {
namespace {

TEST(DesktopText, ItsBundleHoldsGermanAndEnglishObjectsOfTexts) {
  testing::expectGermanAndEnglishObjectsOfTexts(desktopStringBundle());
}

TEST(DesktopText, LooksUpInItsOwnModulesLanguage) {
  desktopText().choose(std::vector<std::string>{"de"});
  EXPECT_EQ(desktop::L("cli.notBuilt", "meterwright: %@ is not built yet", "x"),
            "meterwright: x ist noch nicht gebaut");
  desktopText().choose(std::nullopt);
  EXPECT_EQ(desktop::L("cli.notBuilt", "meterwright: %@ is not built yet", "x"),
            "meterwright: x is not built yet");
}

}  // namespace
}  // namespace meterwright
