// Feeds arbitrary bytes to the configuration decoder. Whatever decodes must encode, and the
// encoded text must decode to the same configuration and encode to the same bytes: otherwise the
// file would be rewritten on every launch.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/config/ConfigCoding.h"

namespace {

bool nothingInstalled(const std::string&) {
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace meterwright;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto config = ConfigCoding::decodeConfig(text, nothingInstalled);
  if (!config) return 0;
  auto encoded = ConfigCoding::encode(*config);
  if (!encoded) __builtin_trap();
  auto again = ConfigCoding::decodeConfig(*encoded, nothingInstalled);
  if (!again || !(*again == *config)) __builtin_trap();
  if (ConfigCoding::encode(*again) != encoded) __builtin_trap();
  return 0;
}
