#include <gtest/gtest.h>

#include <utility>

#include "core/format/Plan.h"

namespace meterwright {
namespace {

using Case = std::pair<const char*, std::optional<std::string>>;

void expectBadges(std::initializer_list<Case> cases) {
  for (const auto& [type, expected] : cases) {
    SCOPED_TRACE(type);
    EXPECT_EQ(Plan::badge(type), expected);
    EXPECT_EQ(Plan::isWorthShowing(type), expected.has_value());
  }
}

TEST(PlanBadge, KnownPlansIgnoringCaseAndSpaceOrdinaryOnesGiveNothing) {
  expectBadges({Case{" MAX_20X \n", "Max 20\u00D7"}, Case{"max20x", "Max 20\u00D7"},
                Case{"MAX5X", "Max 5\u00D7"}, Case{"\tMax", "Max"}, Case{"Teams", "Team"},
                Case{"ENT", "Enterprise"}, Case{"education", "Edu"}});
  expectBadges({Case{"", {}}, Case{"\n", {}}, Case{"Default", {}}, Case{" free\t", {}},
                Case{"__", {}}, Case{" - _ ", {}}});
  EXPECT_EQ(Plan::badge(std::nullopt), std::nullopt);
  EXPECT_FALSE(Plan::isWorthShowing(std::nullopt));
}

TEST(PlanBadge, OtherNamesAreSplitAndCapitalisedByCharacter) {
  // "max 20x" is not the table's "max_20x": the space makes it two pieces. Other white space
  // inside the name separates nothing.
  expectBadges({Case{"pro-team", "Pro Team"}, Case{"claude_max_trial", "Claude Max Trial"},
                Case{"max 20x", "Max 20x"}, Case{"__ultra--plan_ x_", "Ultra Plan X"},
                Case{"team\nplus", "Team\nplus"}, Case{"pro\tmax_x", "Pro\tmax X"},
                Case{"\u00C9QUIPE_pro", "\u00C9quipe Pro"}, Case{"\xFF\xFE", "\xFF\xFE"}});
}

}  // namespace
}  // namespace meterwright
