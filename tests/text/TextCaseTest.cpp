#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <string>

#include "core/text/TextCase.h"

namespace meterwright {
namespace {

// Sets ICU's default locale for one test and restores it.
class ScopedIcuLocale {
 public:
  explicit ScopedIcuLocale(const char* name) : previous_(icu::Locale::getDefault()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(name), status);
  }
  ~ScopedIcuLocale() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(previous_, status);
  }

 private:
  icu::Locale previous_;
};

// Byte sequences that are not UTF-8: a stray continuation byte, truncated sequences, an overlong
// form, an encoded surrogate, a code point beyond U+10FFFF.
const char* const invalidTexts[] = {
    "ABC\xFF",      "\x80",        "Stra\xC3",       "\xE2\x82",
    "\xF0\x9F\x98", "\xC0\xAF  x", "  \xED\xA0\x80", "a\xF4\x90\x80\x80 B",
};

TEST(TextCase, CapitalizedStartsEveryWordWithACapital) {
  EXPECT_EQ(TextCase::capitalized("acme"), "Acme");
  EXPECT_EQ(TextCase::capitalized("open ai"), "Open Ai");
  EXPECT_EQ(TextCase::capitalized("CLAUDE code"), "Claude Code");
  EXPECT_EQ(TextCase::capitalized("claude-glm"), "Claude-glm");
  EXPECT_EQ(TextCase::capitalized(""), "");
}

TEST(TextCase, CapitalizedKeepsTheWhiteSpaceAsItIs) {
  EXPECT_EQ(TextCase::capitalized(" claude"), " Claude");
  EXPECT_EQ(TextCase::capitalized("  claude\tcode\n"), "  Claude\tCode\n");
}

TEST(TextCase, CapitalizedHandlesLettersBeyondAscii) {
  EXPECT_EQ(TextCase::capitalized("émile zola"), "Émile Zola");
  EXPECT_EQ(TextCase::capitalized("straße"), "Straße");
  EXPECT_EQ(TextCase::capitalized("ÅNGSTRÖM"), "Ångström");
}

TEST(TextCase, CapitalizedLowerCasesEachWordInContext) {
  // A Greek sigma at the end of a word lower-cases to its final form.
  EXPECT_EQ(TextCase::capitalized("ΟΔΟΣ ΟΔΟΣ"), "Οδος Οδος");
  // A word starting with a letter that has a title case of its own.
  EXPECT_EQ(TextCase::capitalized("ßa"), "Ssa");
  EXPECT_EQ(TextCase::capitalized("ǆemal"), "ǅemal");
}

TEST(TextCase, LowercasedAndUppercasedUseFullMappings) {
  EXPECT_EQ(TextCase::lowercased("Claude"), "claude");
  EXPECT_EQ(TextCase::lowercased("STRASSE"), "strasse");
  EXPECT_EQ(TextCase::lowercased("Straße"), "straße");
  EXPECT_EQ(TextCase::lowercased("ÉMILE"), "émile");
  EXPECT_EQ(TextCase::uppercased("straße"), "STRASSE");
  EXPECT_EQ(TextCase::uppercased("#ff8800"), "#FF8800");
  EXPECT_EQ(TextCase::uppercased("émile"), "ÉMILE");
}

TEST(TextCase, CaseMappingIgnoresTheUsersLocale) {
  ScopedIcuLocale turkish("tr_TR");
  EXPECT_EQ(TextCase::uppercased("claude"), "CLAUDE");
  EXPECT_EQ(TextCase::lowercased("CLAUDE"), "claude");
  // Non-ASCII text goes through ICU, where a Turkish locale would give a dotted capital I.
  EXPECT_EQ(TextCase::uppercased("id · i"), "ID · I");
  EXPECT_EQ(TextCase::lowercased("ID · I"), "id · i");
  EXPECT_EQ(TextCase::capitalized("istanbul"), "Istanbul");
  EXPECT_TRUE(TextCase::equalIgnoringCase("CLAUDE·", "claude·"));
}

TEST(TextCase, UppercasingFirstChangesOnlyTheFirstCharacter) {
  EXPECT_EQ(TextCase::uppercasingFirst("claude code"), "Claude code");
  EXPECT_EQ(TextCase::uppercasingFirst("cLAUDE"), "CLAUDE");
  EXPECT_EQ(TextCase::uppercasingFirst("éclair au café"), "Éclair au café");
  EXPECT_EQ(TextCase::uppercasingFirst(" claude"), " claude");
  EXPECT_EQ(TextCase::uppercasingFirst("𝑥y"), "𝑥y");
  EXPECT_EQ(TextCase::uppercasingFirst(""), "");
}

TEST(TextCase, EqualIgnoringCaseComparesAsciiText) {
  EXPECT_TRUE(TextCase::equalIgnoringCase("Claude", "cLAUDE"));
  EXPECT_TRUE(TextCase::equalIgnoringCase("", ""));
  EXPECT_FALSE(TextCase::equalIgnoringCase("claude", "claudes"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("codex", "codey"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("a@", "a`"));
}

TEST(TextCase, EqualIgnoringCaseComparesNonAsciiText) {
  EXPECT_TRUE(TextCase::equalIgnoringCase("ÉMILE", "émile"));
  EXPECT_TRUE(TextCase::equalIgnoringCase("ΟΔΟΣ", "οδοσ"));
  EXPECT_TRUE(TextCase::equalIgnoringCase("Straße", "STRASSE"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("émile", "emile"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("claude", "claudé"));
}

TEST(TextCase, TrimmedRemovesWhiteSpaceAndLineBreaksAtBothEnds) {
  EXPECT_EQ(TextCase::trimmed("\n\t claude \r\n"), "claude");
  EXPECT_EQ(TextCase::trimmed("\xC2\xA0"
                              "claude\xE3\x80\x80"),
            "claude");
  EXPECT_EQ(TextCase::trimmed("\xE2\x80\xA8sk-ant \xC2\xA0"), "sk-ant");
  EXPECT_EQ(TextCase::trimmed(" open ai "), "open ai");
  EXPECT_EQ(TextCase::trimmed("a\xC2\xA0"
                              "b"),
            "a\xC2\xA0"
            "b");
}

TEST(TextCase, TrimmedLeavesNothingOfBlankText) {
  EXPECT_EQ(TextCase::trimmed(""), "");
  EXPECT_EQ(TextCase::trimmed(" \t\n\xC2\xA0\xE3\x80\x80"), "");
}

TEST(TextCase, InvalidUtf8PassesThroughEveryOperationUnchanged) {
  for (const char* text : invalidTexts) {
    std::string bytes(text);
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(TextCase::lowercased(bytes), bytes);
    EXPECT_EQ(TextCase::uppercased(bytes), bytes);
    EXPECT_EQ(TextCase::capitalized(bytes), bytes);
    EXPECT_EQ(TextCase::uppercasingFirst(bytes), bytes);
    EXPECT_EQ(TextCase::trimmed(bytes), bytes);
    EXPECT_TRUE(TextCase::equalIgnoringCase(bytes, bytes));
  }
}

TEST(TextCase, EqualIgnoringCaseComparesInvalidUtf8ByItsAsciiLetters) {
  EXPECT_TRUE(TextCase::equalIgnoringCase("ABC\xFF", "abc\xFF"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("abc\xFF", "abc\xFE"));
  EXPECT_FALSE(TextCase::equalIgnoringCase("\xC3", "\xC3\xA9"));
}

TEST(TextCase, EmbeddedNulBytesAreKept) {
  std::string text("A\0b", 3);
  EXPECT_EQ(TextCase::lowercased(text), std::string("a\0b", 3));
  EXPECT_EQ(TextCase::trimmed(std::string(" \0 ", 3)), std::string("\0", 1));
}

}  // namespace
}  // namespace meterwright
