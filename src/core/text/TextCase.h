#pragma once

#include <string>
#include <string_view>

namespace meterwright::TextCase {

// Full Unicode case mappings of UTF-8 text, independent of the user's locale (ids and hex colours
// must compare the same everywhere). Invalid UTF-8 is passed through unchanged where it stands.
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);

// Each word (a run delimited by white space) with its first letter upper-case and the rest
// lower-case: "claude" → "Claude", "open ai" → "Open Ai", "claude-glm" → "Claude-glm".
std::string capitalized(std::string_view text);

// The first character upper-cased, the rest left as it is.
std::string uppercasingFirst(std::string_view text);

// Equality after Unicode case folding of both sides (ASCII fast path; text that is not UTF-8 is
// compared ignoring the case of its ASCII letters only).
bool equalIgnoringCase(std::string_view a, std::string_view b);

// Without leading and trailing white space and line breaks (Unicode white space included).
std::string trimmed(std::string_view text);

}  // namespace meterwright::TextCase
