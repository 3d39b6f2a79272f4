#include "core/text/TextFormat.h"

namespace meterwright::TextFormat {

namespace {

std::string render(const TextArgument& argument) {
  if (const auto* text = std::get_if<std::string>(&argument)) return *text;
  return std::to_string(std::get<long long>(argument));
}

}  // namespace

std::string format(std::string_view pattern, const std::vector<TextArgument>& arguments) {
  std::string out;
  out.reserve(pattern.size() + 16);
  std::size_t nextSequential = 0;
  std::size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      ++i;
      continue;
    }
    if (pattern[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // Optional position: digits followed by '$'.
    std::size_t j = i + 1;
    std::size_t position = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && position < 1000) {
      position = position * 10 + static_cast<std::size_t>(pattern[j] - '0');
      ++j;
    }
    bool positional = j > i + 1 && j < pattern.size() && pattern[j] == '$' && position > 0;
    if (positional) {
      ++j;
    } else {
      j = i + 1;
    }
    if (j < pattern.size() && (pattern[j] == '@' || pattern[j] == 'd')) {
      std::size_t index = positional ? position - 1 : nextSequential++;
      if (index < arguments.size()) out += render(arguments[index]);
      i = j + 1;
      continue;
    }
    // Not a placeholder we know: keep the text as written.
    out += c;
    ++i;
  }
  return out;
}

}  // namespace meterwright::TextFormat
