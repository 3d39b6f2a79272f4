#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/Environment.h"

namespace meterwright {

// A whole environment as "NAME=value" entries: what a child process is started with, and what the
// readers look names up in (PATH, CLAUDE_CONFIG_DIR…). Tests build one from scratch; the program
// copies its own at start.
class EnvironmentBlock {
 public:
  EnvironmentBlock() = default;
  explicit EnvironmentBlock(std::vector<std::string> entries);

  // A copy of this process's environment.
  static EnvironmentBlock ofProcess();

  std::optional<std::string> get(std::string_view name) const;
  // Replaces an existing entry of that name or adds one.
  void set(std::string_view name, std::string_view value);
  void remove(std::string_view name);

  const std::vector<std::string>& entries() const { return entries_; }
  // A lookup over a copy of the current entries.
  Environment lookup() const;

  bool operator==(const EnvironmentBlock&) const = default;

 private:
  std::vector<std::string> entries_;
};

}  // namespace meterwright
