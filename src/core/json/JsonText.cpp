#include "core/json/JsonText.h"

namespace meterwright::JsonText {

namespace {

// "/" only ever occurs inside string literals of JSON text, so escaping it in the serialised text
// escapes exactly the slashes inside strings.
std::string escapeSlashes(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

// nlohmann copies, compares and dumps values recursively, so a value nested deep enough overflows
// the stack; outside text may nest no deeper than any document the program reads could need.
constexpr int maximumDepth = 512;

bool nestsTooDeep(std::string_view text) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maximumDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::optional<nlohmann::json> parse(std::string_view text) {
  if (nestsTooDeep(text)) return std::nullopt;
  try {
    auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/true,
                                       /*ignore_comments=*/false);
    return value;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> prettySorted(const nlohmann::json& value) {
  try {
    // nlohmann::json keeps object members in a sorted map, so every level comes out sorted.
    return escapeSlashes(value.dump(2));
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> compact(const nlohmann::ordered_json& value) {
  try {
    return value.dump();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

}  // namespace meterwright::JsonText
