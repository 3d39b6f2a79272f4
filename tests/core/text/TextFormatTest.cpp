#include <gtest/gtest.h>

#include "core/text/TextFormat.h"

namespace meterwright {
namespace {

const std::string codex = "Codex";

std::string format(std::string_view pattern, const std::vector<TextArgument>& arguments) {
  return TextFormat::format(pattern, arguments);
}

TEST(TextFormat, SubstitutesArgumentsInOrderOrByTheirPosition) {
  EXPECT_EQ(format("%@ · %d%% left", {codex, 42LL}), "Codex · 42% left");
  // Translations may put the second argument first.
  EXPECT_EQ(format("%2$d bei %1$@, %1$@", {codex, -3LL}), "-3 bei Codex, Codex");
  // Mismatched types are written as they are; placeholders inside arguments stay as they are.
  EXPECT_EQ(format("%d, %@", {codex, 5LL}), "Codex, 5");
  EXPECT_EQ(format("%@ %@", {std::string("%@"), std::string("%d")}), "%@ %d");
}

TEST(TextFormat, AMissingArgumentIsEmptyAndUnknownSequencesAreCopied) {
  EXPECT_EQ(format("%@ and %@", {codex}), "Codex and ");
  EXPECT_EQ(format("[%3$@][%d]", {}), "[][]");
  EXPECT_EQ(format("%%@ 100%% 50%x %s %@", {codex}), "%@ 100% 50%x %s Codex");
  EXPECT_EQ(format("%0$@ %1$x %12 at %1$", {codex}), "%0$@ %1$x %12 at %1$");
  EXPECT_EQ(format("at 50%", {}), "at 50%");
}

}  // namespace
}  // namespace meterwright
