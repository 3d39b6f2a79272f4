#include "core/format/Plan.h"

#include <array>
#include <utility>
#include <vector>

#include "core/text/TextCase.h"

namespace meterwright::Plan {

namespace {

// Plans every account has: a badge would say nothing.
constexpr auto unremarkable = std::to_array<std::string_view>(
    {"", "free", "none", "basic", "default", "unknown", "anonymous"});

constexpr auto knownBadges = std::to_array<std::pair<std::string_view, std::string_view>>({
    {"pro", "Pro"},
    {"max", "Max"},
    {"max_5x", "Max 5\u00D7"},
    {"max5x", "Max 5\u00D7"},
    {"max_20x", "Max 20\u00D7"},
    {"max20x", "Max 20\u00D7"},
    {"plus", "Plus"},
    {"team", "Team"},
    {"teams", "Team"},
    {"enterprise", "Enterprise"},
    {"ent", "Enterprise"},
    {"edu", "Edu"},
    {"education", "Edu"},
    {"business", "Business"},
});

// Only these separate words; other white space inside a name is part of its piece, as the peers
// split it.
bool isSeparator(char c) {
  return c == '_' || c == '-' || c == ' ';
}

std::vector<std::string_view> piecesOf(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !isSeparator(text[i])) continue;
    if (i > start) pieces.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  return pieces;
}

}  // namespace

std::optional<std::string> badge(std::optional<std::string_view> subscriptionType) {
  if (!subscriptionType) return std::nullopt;
  std::string name = TextCase::lowercased(TextCase::trimmed(*subscriptionType));
  for (std::string_view plain : unremarkable) {
    if (name == plain) return std::nullopt;
  }
  for (const auto& [plan, text] : knownBadges) {
    if (name == plan) return std::string(text);
  }
  std::vector<std::string_view> pieces = piecesOf(name);
  if (pieces.empty()) return std::nullopt;
  std::string out;
  for (std::string_view piece : pieces) {
    if (!out.empty()) out += ' ';
    out += TextCase::uppercasingFirst(piece);
  }
  return out;
}

bool isWorthShowing(std::optional<std::string_view> subscriptionType) {
  return badge(subscriptionType).has_value();
}

}  // namespace meterwright::Plan
