#include "core/sync/protocol/SyncFraming.h"

#include <utility>

#include "core/sync/protocol/SyncCoding.h"

namespace meterwright::SyncFraming {

std::optional<std::string> frame(std::string_view body) {
  if (body.size() > maximumMessageBytes) return std::nullopt;
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string bytes;
  bytes.reserve(prefixBytes + body.size());
  bytes.push_back(static_cast<char>((length >> 24) & 0xFF));
  bytes.push_back(static_cast<char>((length >> 16) & 0xFF));
  bytes.push_back(static_cast<char>((length >> 8) & 0xFF));
  bytes.push_back(static_cast<char>(length & 0xFF));
  bytes.append(body);
  return bytes;
}

std::uint32_t announcedLength(std::string_view buffer) {
  auto byte = [&](std::size_t index) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[index]));
  };
  return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

SyncResult<std::string> encode(const SyncMessage& message) {
  std::optional<std::string> json = SyncCoding::encode(message);
  if (!json) return SyncError::couldNotEncode();
  std::optional<std::string> bytes = frame(*json);
  if (!bytes) return SyncError::of(SyncError::Kind::messageTooLarge);
  return std::move(*bytes);
}

SyncResult<Decoded> decodeFrame(std::string_view bytes, std::size_t maximumBytes) {
  if (bytes.size() < prefixBytes) return Decoded{};
  const std::uint32_t length = announcedLength(bytes);
  if (length > maximumBytes) return SyncError::of(SyncError::Kind::messageTooLarge);
  if (bytes.size() - prefixBytes < length) return Decoded{};
  std::optional<SyncMessage> message = SyncCoding::decodeMessage(bytes.substr(prefixBytes, length));
  if (!message) return SyncError::malformedMessage();
  return Decoded{std::move(message), prefixBytes + length};
}

SyncResult<std::vector<SyncMessage>> decode(std::string& buffer) {
  std::vector<SyncMessage> messages;
  // Consumed bytes are erased once at the end rather than per frame, so a chunk of many small
  // frames costs one move of the remainder instead of one per frame.
  std::size_t consumed = 0;
  while (true) {
    SyncResult<Decoded> next = decodeFrame(std::string_view(buffer).substr(consumed));
    if (!next.ok()) {
      // A body that is not a message goes with the frames before it; an oversized prefix stays.
      if (next.error().kind != SyncError::Kind::messageTooLarge)
        consumed += prefixBytes + announcedLength(std::string_view(buffer).substr(consumed));
      buffer.erase(0, consumed);
      return next.error();
    }
    Decoded decoded = std::move(next).value();
    if (!decoded.message) break;
    consumed += decoded.consumed;
    messages.push_back(std::move(*decoded.message));
  }
  buffer.erase(0, consumed);
  return messages;
}

}  // namespace meterwright::SyncFraming
