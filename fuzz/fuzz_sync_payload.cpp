// Feeds arbitrary bytes to the decoder of sync payloads, the plaintext inside an envelope.
// Whatever decodes must encode, and its encoded text must decode to the same payload, dates
// included: they travel as doubles and must not drift from one pass to the next.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sync/protocol/SyncCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto payload = SyncCoding::decodePayload(bytes);
  if (!payload) return 0;

  auto text = SyncCoding::encode(*payload);
  if (!text) __builtin_trap();
  auto again = SyncCoding::decodePayload(*text);
  if (!again || !(*again == *payload)) __builtin_trap();
  return 0;
}
