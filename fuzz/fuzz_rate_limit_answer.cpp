// Feeds arbitrary bytes, as the Codex app-server's rate-limit answer, to the window reader. Besides
// not crashing it must keep its ordering promise: ungrouped windows come first, shortest first,
// and every window it keeps came from an object with a numeric share and a whole length.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/json/JsonText.h"
#include "core/readers/codex/CodexRateLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace meterwright;
  auto value = JsonText::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!value) return 0;
  CodexRateLimits::Reading reading = CodexRateLimits::read(*value);
  bool grouped = false;
  int previousMinutes = 0;
  for (std::size_t i = 0; i < reading.windows.size(); ++i) {
    const UsageWindow& window = reading.windows[i];
    if (window.group) {
      grouped = true;
      continue;
    }
    if (grouped) __builtin_trap();
    if (i > 0 && window.windowMinutes < previousMinutes) __builtin_trap();
    previousMinutes = window.windowMinutes;
    if (window.usedPercent != window.usedPercent) __builtin_trap();
  }
  if (reading.plan && reading.plan->empty()) __builtin_trap();
  return 0;
}
