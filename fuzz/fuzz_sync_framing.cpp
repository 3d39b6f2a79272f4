// Feeds arbitrary bytes to the frame decoder, in two receives split where the input says, as a
// connection would. Whatever happens, the decoder must leave the buffer as a suffix of what it was
// given (it only ever consumes from the front), keep no complete frame behind on success, and
// re-frame every message it returned.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/sync/protocol/SyncFraming.h"

using namespace meterwright;

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// One receive: append the chunk and decode, checking the buffer afterwards. False once decoding
// failed, as the connection stops receiving then.
bool receive(std::string& buffer, std::string_view chunk) {
  buffer.append(chunk);
  const std::string before = buffer;
  auto messages = SyncFraming::decode(buffer);
  check(buffer.size() <= before.size());
  check(endsWith(before, buffer));
  if (!messages.ok()) return false;
  // What stays behind is an incomplete frame: fewer than four bytes, or a prefix within the limit
  // announcing more than is there.
  if (buffer.size() >= SyncFraming::prefixBytes) {
    std::uint32_t length = SyncFraming::announcedLength(buffer);
    check(length <= SyncFraming::maximumMessageBytes);
    check(buffer.size() - SyncFraming::prefixBytes < length);
  }
  for (const SyncMessage& message : messages.value()) {
    auto frame = SyncFraming::encode(message);
    check(frame.ok());
    std::string again = frame.value();
    auto decoded = SyncFraming::decode(again);
    check(decoded.ok() && decoded.value().size() == 1 && decoded.value()[0] == message);
    check(again.empty());
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t split = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
  std::string buffer;
  if (receive(buffer, bytes.substr(0, split))) receive(buffer, bytes.substr(split));
  return 0;
}
