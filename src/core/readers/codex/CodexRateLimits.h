#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/usage/UsageWindow.h"

// Turns the Codex app-server's rate-limit answer (the "result" of account/rateLimits/read) into
// quota windows and a plan badge. Pure, so it can be fuzzed: any JSON value gives an answer.
namespace meterwright::CodexRateLimits {

struct Reading {
  // Ungrouped windows by length (shortest first), then grouped ones in the order they were built.
  std::vector<UsageWindow> windows;
  // The badge of the main limit's "planType", when it is worth one.
  std::optional<std::string> plan;
  bool operator==(const Reading&) const = default;
};

// A window object: numeric "usedPercent" and integer "windowDurationMins" are required, a numeric
// "resetsAt" (seconds since 1970) is optional. Nothing otherwise.
std::optional<UsageWindow> window(const nlohmann::json& value,
                                  const std::optional<std::string>& group);

Reading read(const nlohmann::json& result);

}  // namespace meterwright::CodexRateLimits
