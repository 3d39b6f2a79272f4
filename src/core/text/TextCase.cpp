#include "core/text/TextCase.h"

#include <unicode/locid.h>
#include <unicode/stringoptions.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace meterwright::TextCase {

namespace {

bool isAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// Invalid UTF-8 would come back with replacement characters; such text keeps its bytes instead.
bool isValidUtf8(std::string_view text) {
  return toUtf8(fromUtf8(text)) == text;
}

}  // namespace

std::string lowercased(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  if (!isValidUtf8(text)) return std::string(text);
  icu::UnicodeString value = fromUtf8(text);
  value.toLower(icu::Locale::getRoot());
  return toUtf8(value);
}

std::string uppercased(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
  }
  if (!isValidUtf8(text)) return std::string(text);
  icu::UnicodeString value = fromUtf8(text);
  value.toUpper(icu::Locale::getRoot());
  return toUtf8(value);
}

std::string capitalized(std::string_view text) {
  if (!isValidUtf8(text)) return std::string(text);
  icu::UnicodeString value = fromUtf8(text);
  icu::UnicodeString out;
  int32_t i = 0;
  while (i < value.length()) {
    UChar32 c = value.char32At(i);
    if (u_isWhitespace(c)) {
      out.append(c);
      i += U16_LENGTH(c);
      continue;
    }
    int32_t end = i;
    while (end < value.length() && !u_isWhitespace(value.char32At(end))) {
      end += U16_LENGTH(value.char32At(end));
    }
    // Whole words, so the lower-casing sees its context (a final Greek sigma) and the first letter
    // gets its title case ("ß" → "Ss", not "SS").
    icu::UnicodeString word = value.tempSubStringBetween(i, end);
    word.toTitle(nullptr, icu::Locale::getRoot(),
                 U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_BREAK_ADJUSTMENT);
    out.append(word);
    i = end;
  }
  return toUtf8(out);
}

std::string uppercasingFirst(std::string_view text) {
  if (text.empty() || !isValidUtf8(text)) return std::string(text);
  icu::UnicodeString value = fromUtf8(text);
  UChar32 first = value.char32At(0);
  icu::UnicodeString head(first);
  head.toUpper(icu::Locale::getRoot());
  return toUtf8(head) + toUtf8(value.tempSubString(U16_LENGTH(first)));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if ((isAscii(a) && isAscii(b)) || !isValidUtf8(a) || !isValidUtf8(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  // Case folding, not lower-casing: lower-casing keeps differences that are only case ("ς" at the
  // end of a word against "σ", "ß" against "SS").
  icu::UnicodeString x = fromUtf8(a), y = fromUtf8(b);
  return x.foldCase(U_FOLD_CASE_DEFAULT) == y.foldCase(U_FOLD_CASE_DEFAULT);
}

std::string trimmed(std::string_view text) {
  if (!isValidUtf8(text)) return std::string(text);
  icu::UnicodeString value = fromUtf8(text);
  int32_t start = 0, end = value.length();
  while (start < end) {
    UChar32 c = value.char32At(start);
    if (!u_isUWhiteSpace(c)) break;
    start += U16_LENGTH(c);
  }
  while (end > start) {
    UChar32 c = value.char32At(end - 1);
    if (!u_isUWhiteSpace(c)) break;
    end -= U16_LENGTH(c);
  }
  return toUtf8(value.tempSubStringBetween(start, end));
}

}  // namespace meterwright::TextCase
