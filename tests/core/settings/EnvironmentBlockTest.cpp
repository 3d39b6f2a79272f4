#include <gtest/gtest.h>

#include "core/settings/EnvironmentBlock.h"

namespace meterwright {
namespace {

TEST(EnvironmentBlockTest, LooksUpWholeNamesAndReplacesInsteadOfDuplicating) {
  EnvironmentBlock block({"PATH=/bin", "PATHS=/x", "EMPTY=", "TERM=dumb"});
  EXPECT_EQ(block.get("PATH"), "/bin");
  EXPECT_EQ(block.get("EMPTY"), "");
  EXPECT_EQ(block.get("PAT"), std::nullopt);

  block.set("TERM", "xterm-256color");
  block.remove("PATHS");
  EXPECT_EQ(block.entries(),
            (std::vector<std::string>{"PATH=/bin", "EMPTY=", "TERM=xterm-256color"}));

  Environment lookup = block.lookup();
  block.set("PATH", "/changed");
  EXPECT_EQ(lookup("PATH"), "/bin");  // a lookup keeps the entries it was made from
}

}  // namespace
}  // namespace meterwright
