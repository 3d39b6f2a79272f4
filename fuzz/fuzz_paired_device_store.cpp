// Feeds arbitrary bytes to the decoder of the stored paired-device list. Whatever decodes must
// encode, and the encoded document must decode to the same records and encode to the same bytes,
// so rewriting the item never changes or loses a device.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sync/pairing/PairedDeviceCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto records = PairedDeviceCoding::decodeRecords(text);
  if (!records) return 0;
  auto encoded = PairedDeviceCoding::encode(*records);
  if (!encoded) __builtin_trap();
  auto again = PairedDeviceCoding::decodeRecords(*encoded);
  if (!again || !(*again == *records)) __builtin_trap();
  if (PairedDeviceCoding::encode(*again) != encoded) __builtin_trap();
  return 0;
}
