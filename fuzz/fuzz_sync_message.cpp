// Feeds arbitrary bytes to the decoder of local-network messages, which reads whatever a peer on
// the network sends. Whatever decodes must encode, and its encoded text must decode to the same
// message: both ends speak the same form.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sync/protocol/SyncCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto message = SyncCoding::decodeMessage(bytes);
  if (!message) return 0;

  auto text = SyncCoding::encode(*message);
  if (!text) __builtin_trap();
  auto again = SyncCoding::decodeMessage(*text);
  if (!again || !(*again == *message)) __builtin_trap();
  return 0;
}
