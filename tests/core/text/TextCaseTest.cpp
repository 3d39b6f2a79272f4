#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <string>
#include <utility>
#include <vector>

#include "core/text/TextCase.h"

namespace meterwright {
namespace {

using Case = std::pair<std::string, std::string>;

void expectMapping(std::string (*map)(std::string_view), const std::vector<Case>& cases) {
  for (const auto& [text, expected] : cases) EXPECT_EQ(map(text), expected) << text;
}

TEST(TextCase, CapitalizedStartsEachWordWithACapitalInContextKeepingTheWhiteSpace) {
  // Final sigma, sharp s and a letter with a title case of its own need the word's context.
  expectMapping(TextCase::capitalized,
                {Case("open ai", "Open Ai"), Case("CLAUDE code", "Claude Code"),
                 Case("claude-glm", "Claude-glm"), Case("  claude\tcode\n", "  Claude\tCode\n"),
                 Case("ÅNGSTRÖM", "Ångström"), Case("ΟΔΟΣ ΟΔΟΣ", "Οδος Οδος"), Case("ßa", "Ssa"),
                 Case("ǆemal", "ǅemal")});
}

TEST(TextCase, MappingsAreFullAndIgnoreATurkishUserLocale) {
  icu::Locale previous = icu::Locale::getDefault();
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale("tr_TR"), status);
  expectMapping(TextCase::lowercased, {Case("STRASSE", "strasse"), Case("ÉMILE · I", "émile · i")});
  expectMapping(TextCase::uppercased, {Case("straße", "STRASSE"), Case("émile · i", "ÉMILE · I")});
  expectMapping(TextCase::uppercasingFirst,
                {Case("cLAUDE", "CLAUDE"), Case("éclair au café", "Éclair au café"),
                 Case(" claude", " claude"), Case("𝑥y", "𝑥y"), Case("istanbul", "Istanbul")});
  icu::Locale::setDefault(previous, status);
}

TEST(TextCase, TrimmedRemovesUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
  expectMapping(
      TextCase::trimmed,
      {Case("\n\t claude \r\n", "claude"), Case("\u00A0claude\u3000", "claude"),
       Case("\u2028sk-ant \u00A0", "sk-ant"), Case("a\u00A0b", "a\u00A0b"),
       Case(" \t\n\u00A0\u3000", ""), Case(std::string(" \0 ", 3), std::string(1, '\0'))});
}

TEST(TextCase, EqualIgnoringCaseFoldsUnicodeAndOnlyAsciiLettersOfInvalidUtf8) {
  for (const auto& [a, b] : {Case("Claude", "cLAUDE"), Case("ΟΔΟΣ", "οδοσ"),
                             Case("Straße", "STRASSE"), Case("ABC\xFF", "abc\xFF")})
    EXPECT_TRUE(TextCase::equalIgnoringCase(a, b)) << a << " " << b;
  for (const auto& [a, b] : {Case("a@", "a`"), Case("émile", "emile"), Case("abc\xFF", "abc\xFE"),
                             Case("\xC3", "\xC3\xA9")})
    EXPECT_FALSE(TextCase::equalIgnoringCase(a, b)) << a << " " << b;
}

TEST(TextCase, InvalidUtf8AndEmptyTextPassThroughEveryOperationUnchanged) {
  // Stray, truncated, overlong, surrogate and beyond-U+10FFFF sequences.
  for (std::string bytes : {"", "ABC\xFF", "\x80", "Stra\xC3", "\xE2\x82", "\xF0\x9F\x98",
                            "\xC0\xAF  x", "  \xED\xA0\x80", "a\xF4\x90\x80\x80 B"}) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    for (auto map : {TextCase::lowercased, TextCase::uppercased, TextCase::capitalized,
                     TextCase::uppercasingFirst, TextCase::trimmed})
      EXPECT_EQ(map(bytes), bytes);
    EXPECT_TRUE(TextCase::equalIgnoringCase(bytes, bytes));
  }
}

}  // namespace
}  // namespace meterwright
