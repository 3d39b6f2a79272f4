// Feeds arbitrary bytes to the decoder of the last-reading file. Whatever decodes must encode, and
// its encoded text must decode to the same reading: the file the program writes is the file it
// reads back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/json/JsonText.h"
#include "core/usage/SnapshotCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto value = JsonText::parse(bytes);
  if (!value) return 0;
  const SnapshotCoding::DateCoding dates = SnapshotCoding::iso8601();
  auto snapshot = SnapshotCoding::snapshotFromJson(*value, dates);
  if (!snapshot) return 0;

  auto encoded = SnapshotCoding::toJson(*snapshot, dates);
  if (!encoded) __builtin_trap();
  auto text = JsonText::compact(*encoded);
  if (!text) __builtin_trap();
  auto reparsed = JsonText::parse(*text);
  if (!reparsed) __builtin_trap();
  auto again = SnapshotCoding::snapshotFromJson(*reparsed, dates);
  if (!again || !(*again == *snapshot)) __builtin_trap();
  return 0;
}
