#include "core/settings/EnvironmentBlock.h"

#include <algorithm>

extern char** environ;

namespace meterwright {

namespace {

bool hasName(const std::string& entry, std::string_view name) {
  return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
         entry[name.size()] == '=';
}

}  // namespace

EnvironmentBlock::EnvironmentBlock(std::vector<std::string> entries)
    : entries_(std::move(entries)) {}

EnvironmentBlock EnvironmentBlock::ofProcess() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  return EnvironmentBlock(std::move(entries));
}

std::optional<std::string> EnvironmentBlock::get(std::string_view name) const {
  for (const std::string& entry : entries_) {
    if (hasName(entry, name)) return entry.substr(name.size() + 1);
  }
  return std::nullopt;
}

void EnvironmentBlock::set(std::string_view name, std::string_view value) {
  remove(name);
  std::string entry(name);
  entry += '=';
  entry += value;
  entries_.push_back(std::move(entry));
}

void EnvironmentBlock::remove(std::string_view name) {
  std::erase_if(entries_, [name](const std::string& entry) { return hasName(entry, name); });
}

Environment EnvironmentBlock::lookup() const {
  return [copy = *this](const char* name) { return copy.get(name); };
}

}  // namespace meterwright
