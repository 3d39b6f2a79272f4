// Feeds arbitrary bytes to the parser of Anthropic's usage answer. Whatever it makes of them, a
// result must be what the readers downstream rely on: one or two windows of known lengths in
// ascending order, finite percentages, and the instant it was given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "core/format/Format.h"
#include "core/readers/claude/ClaudeUsageAPI.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Date now = dateFromUnixSeconds(1'740'821'400);
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto outcome = ClaudeUsageAPI::parseAnswer(bytes, now);
  auto* result = std::get_if<ClaudeUsageAPI::Result>(&outcome);
  if (!result) {
    if (!(std::get<ClaudeUsageAPI::Failure>(outcome) == ClaudeUsageAPI::Failure::unreadable())) {
      __builtin_trap();
    }
    return 0;
  }
  if (result->observedAt != now) __builtin_trap();
  if (result->windows.empty() || result->windows.size() > 2) __builtin_trap();
  int previous = 0;
  for (const UsageWindow& window : result->windows) {
    if (window.windowMinutes != 300 && window.windowMinutes != 10080) __builtin_trap();
    if (window.windowMinutes <= previous) __builtin_trap();
    previous = window.windowMinutes;
    if (!std::isfinite(window.usedPercent) || window.group) __builtin_trap();
    // Whatever number came, the texts built from it must not fault.
    Format::percent(window.usedPercent);
    Format::percent(window.remainingPercent());
    if (window.resetsAt) window.resetsIn(now);
  }
  return 0;
}
