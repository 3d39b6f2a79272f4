#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/format/Plan.h"

namespace meterwright {
namespace {

TEST(PlanBadge, KnownPlansIgnoringCaseAndSurroundingSpace) {
  EXPECT_EQ(Plan::badge(" MAX_20X \n"), "Max 20\u00D7");
  EXPECT_EQ(Plan::badge("max20x"), "Max 20\u00D7");
  EXPECT_EQ(Plan::badge("Max_5x"), "Max 5\u00D7");
  EXPECT_EQ(Plan::badge("MAX5X"), "Max 5\u00D7");
  EXPECT_EQ(Plan::badge("pro"), "Pro");
  EXPECT_EQ(Plan::badge("\tMax"), "Max");
  EXPECT_EQ(Plan::badge("plus"), "Plus");
  EXPECT_EQ(Plan::badge("Teams"), "Team");
  EXPECT_EQ(Plan::badge("team"), "Team");
  EXPECT_EQ(Plan::badge("ENT"), "Enterprise");
  EXPECT_EQ(Plan::badge("enterprise"), "Enterprise");
  EXPECT_EQ(Plan::badge("education"), "Edu");
  EXPECT_EQ(Plan::badge("edu"), "Edu");
  EXPECT_EQ(Plan::badge("Business"), "Business");
}

TEST(PlanBadge, OrdinaryPlansGiveNothing) {
  EXPECT_EQ(Plan::badge(std::nullopt), std::nullopt);
  for (std::string_view plain :
       {"", "   ", "\n", "Default", "FREE", "none", "basic", "unknown", "Anonymous", " free\t"}) {
    EXPECT_EQ(Plan::badge(plain), std::nullopt) << "for \"" << plain << "\"";
  }
}

TEST(PlanBadge, OtherNamesAreSplitAndCapitalised) {
  EXPECT_EQ(Plan::badge("pro-team"), "Pro Team");
  EXPECT_EQ(Plan::badge("claude_max_trial"), "Claude Max Trial");
  EXPECT_EQ(Plan::badge("CLAUDE PRO"), "Claude Pro");
  // Not the table's "max_20x": the space makes it a name of two pieces.
  EXPECT_EQ(Plan::badge("max 20x"), "Max 20x");
  EXPECT_EQ(Plan::badge("__ultra--plan_ x_"), "Ultra Plan X");
}

TEST(PlanBadge, SeparatorsAloneGiveNothing) {
  EXPECT_EQ(Plan::badge("__"), std::nullopt);
  EXPECT_EQ(Plan::badge(" - _ "), std::nullopt);
}

TEST(PlanBadge, LineBreaksInsideANameSeparatePieces) {
  EXPECT_EQ(Plan::badge("team\nplus"), "Team Plus");
}

TEST(PlanBadge, NonAsciiNamesAreCapitalisedByCharacter) {
  EXPECT_EQ(Plan::badge("\u00C9QUIPE_pro"), "\u00C9quipe Pro");
  EXPECT_EQ(Plan::badge("\u00FCber"), "\u00DCber");
}

TEST(PlanBadge, UnreadableBytesPassThroughWithoutCrashing) {
  EXPECT_EQ(Plan::badge("\xFF\xFE"), "\xFF\xFE");
}

TEST(PlanIsWorthShowing, ExactlyWhenThereIsABadge) {
  EXPECT_TRUE(Plan::isWorthShowing("pro"));
  EXPECT_TRUE(Plan::isWorthShowing("claude_max_trial"));
  EXPECT_FALSE(Plan::isWorthShowing("default"));
  EXPECT_FALSE(Plan::isWorthShowing("__"));
  EXPECT_FALSE(Plan::isWorthShowing(std::nullopt));
}

}  // namespace
}  // namespace meterwright
