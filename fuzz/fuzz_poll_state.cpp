// Feeds arbitrary bytes to the decoder of a provider's poll state file, which any process of the
// user (or the user) may have left in any shape. Whatever decodes must encode, and decode again to
// the same state.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/readers/PollStateCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto state = PollStateCoding::decode(bytes, "claude");
  if (!state) return 0;
  auto text = PollStateCoding::encode(*state, "claude");
  if (!text) __builtin_trap();
  auto again = PollStateCoding::decode(*text, "claude");
  if (!again || !(*again == *state)) __builtin_trap();
  return 0;
}
