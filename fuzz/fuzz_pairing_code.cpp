// Feeds arbitrary text to the pairing-code parser, as typed or scanned by a user. Whatever parses
// must be ten alphabet symbols, and its formatted form, its QR link and its bare value must all
// parse back to the same code.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sync/pairing/PairingCode.h"

using namespace meterwright;

namespace {

bool isCodeText(std::string_view text) {
  for (char c : text) {
    if (PairingCode::alphabet.find(c) == std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!isCodeText(PairingCode::normalised(text))) __builtin_trap();
  auto code = PairingCode::parse(text);
  if (!code) return 0;
  if (code->value.size() != PairingCode::characterCount || !isCodeText(code->value)) {
    __builtin_trap();
  }
  if (PairingCode::parse(code->formatted()) != code) __builtin_trap();
  if (PairingCode::parse(code->qrPayload()) != code) __builtin_trap();
  if (PairingCode::from(code->value) != code) __builtin_trap();
  if (PairingCode::normalised(code->value) != code->value) __builtin_trap();
  return 0;
}
