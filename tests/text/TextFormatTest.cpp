#include <gtest/gtest.h>

#include <string>

#include "core/text/LocalizedModule.h"
#include "core/text/TextFormat.h"

namespace meterwright {
namespace {

using Arguments = std::vector<TextArgument>;

std::string format(std::string_view pattern, const Arguments& arguments = {}) {
  return TextFormat::format(pattern, arguments);
}

TEST(TextFormat, SubstitutesTextAndNumbersInOrder) {
  EXPECT_EQ(format("%@ has %d%% left", {std::string("Claude"), 42LL}), "Claude has 42% left");
  EXPECT_EQ(format("%d", {-7LL}), "-7");
  EXPECT_EQ(format("no placeholders"), "no placeholders");
}

TEST(TextFormat, DoubledPercentIsOnePercentSign) {
  EXPECT_EQ(format("100%%"), "100%");
  EXPECT_EQ(format("%%@", {std::string("unused")}), "%@");
  EXPECT_EQ(format("%%%%"), "%%");
}

TEST(TextFormat, PositionalPlaceholdersFollowTheirNumberNotTheirOrder) {
  // A translation that puts the second argument first.
  Arguments arguments = {std::string("Codex"), 3LL};
  EXPECT_EQ(format("%1$@: %2$d", arguments), "Codex: 3");
  EXPECT_EQ(format("%2$d bei %1$@", arguments), "3 bei Codex");
  EXPECT_EQ(format("%1$@ %1$@", arguments), "Codex Codex");
}

TEST(TextFormat, APlaceholderWithoutAnArgumentBecomesEmpty) {
  EXPECT_EQ(format("%@ and %@", {std::string("one")}), "one and ");
  EXPECT_EQ(format("[%3$@]", {std::string("one")}), "[]");
  EXPECT_EQ(format("[%d]"), "[]");
}

TEST(TextFormat, WritesAMismatchedArgumentAsItIs) {
  EXPECT_EQ(format("%d left", {std::string("many")}), "many left");
  EXPECT_EQ(format("%@ left", {5LL}), "5 left");
}

TEST(TextFormat, CopiesUnknownSequencesUnchanged) {
  EXPECT_EQ(format("50%x done", {std::string("unused")}), "50%x done");
  EXPECT_EQ(format("%s and %@", {std::string("one")}), "%s and one");
  EXPECT_EQ(format("%0$@"), "%0$@");
  EXPECT_EQ(format("%1$x"), "%1$x");
  EXPECT_EQ(format("%12"), "%12");
}

TEST(TextFormat, KeepsAPercentSignAtTheEnd) {
  EXPECT_EQ(format("50%"), "50%");
  EXPECT_EQ(format("%"), "%");
  EXPECT_EQ(format("at %1$", {std::string("unused")}), "at %1$");
}

TEST(TextFormat, DoesNotExpandPlaceholdersInsideArguments) {
  EXPECT_EQ(format("%@ %@", {std::string("%@"), std::string("%d")}), "%@ %d");
}

TEST(TextFormat, LeavesNonAsciiTextAroundPlaceholdersIntact) {
  EXPECT_EQ(format("%@ \xC2\xB7 %d\xE2\x80\xAF%%", {std::string("5h"), 80LL}),
            "5h \xC2\xB7 80\xE2\x80\xAF%");
}

TEST(TextFormat, LocalisedLookupPassesArgumentsOfAnyIntegerOrTextType) {
  int count = 3;
  const char* name = "Claude";
  std::string_view window = "7d";
  EXPECT_EQ(L("test.absent.key", "%@: %d in %@", name, count, window), "Claude: 3 in 7d");
  EXPECT_EQ(L("test.absent.key", "%d/%d", 1u, 2L), "1/2");
}

}  // namespace
}  // namespace meterwright
