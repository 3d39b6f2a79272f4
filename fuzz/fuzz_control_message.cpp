// Feeds arbitrary bytes to the control socket's decoders, which read lines from any process of
// the user. Nothing may crash; whatever decodes must encode to one line that decodes to the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/control/ControlCoding.h"
#include "core/control/ControlLineBuffer.h"

using namespace meterwright;

namespace {

std::string_view withoutNewline(const std::string& line) {
  if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1) __builtin_trap();
  return std::string_view(line).substr(0, line.size() - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  ControlLineBuffer buffer(4096);
  if (buffer.append(bytes)) {
    while (std::optional<std::string> line = buffer.nextLine()) {
      if (line->size() > 4096 || line->find('\n') != std::string::npos) __builtin_trap();
    }
  }

  ControlCoding::DecodedRequest request = ControlCoding::decodeRequest(bytes);
  if (request.request.has_value() == request.failure.has_value()) __builtin_trap();
  if (request.request) {
    auto again =
        ControlCoding::decodeRequest(withoutNewline(ControlCoding::encode(*request.request)));
    if (!again.request || !(*again.request == *request.request)) __builtin_trap();
  }
  if (auto answer = ControlCoding::decodeAnswer(bytes)) {
    auto again = ControlCoding::decodeAnswer(withoutNewline(ControlCoding::encode(*answer)));
    if (!again || !(*again == *answer)) __builtin_trap();
  }
  if (auto event = ControlCoding::decodeEvent(bytes)) {
    auto again = ControlCoding::decodeEvent(withoutNewline(ControlCoding::encode(*event)));
    if (!again || !(*again == *event)) __builtin_trap();
  }
  return 0;
}
