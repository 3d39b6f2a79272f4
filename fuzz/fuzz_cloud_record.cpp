// Feeds arbitrary bytes to the decoder of cloud record files, which reads whatever lands in the
// synced folder: files from any machine the folder reaches. Whatever decodes must encode, and its
// encoded text must decode to the same record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sync/cloud/CloudRecordCoding.h"

using namespace meterwright;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto record = CloudRecordCoding::decode(bytes);
  if (!record) return 0;

  auto text = CloudRecordCoding::encode(*record);
  // Numbers may spell longer than they were written ("1e9"), so only inputs well inside the
  // bound are sure to fit again.
  if (!text) {
    if (size < CloudRecordCoding::maximumBytes / 4) __builtin_trap();
    return 0;
  }
  auto again = CloudRecordCoding::decode(*text);
  if (!again || !(*again == *record)) __builtin_trap();
  return 0;
}
