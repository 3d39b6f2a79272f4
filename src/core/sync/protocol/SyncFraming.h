#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sync/protocol/SyncMessage.h"
#include "core/sync/protocol/SyncResult.h"

namespace meterwright::SyncFraming {

// How one SyncMessage travels on a local-network stream: a 4-byte big-endian body length, then the
// message's SyncCoding JSON. No magic, checksum or terminator; frames follow each other directly.

// The largest body a peer may announce. It bounds what one peer can make the other hold in memory
// for a single frame, so it is checked on the length prefix, before any of the body has arrived.
constexpr std::size_t maximumMessageBytes = 1048576;
constexpr std::size_t prefixBytes = 4;

// The whole frame (prefix and body). messageTooLarge when the JSON exceeds the limit,
// transportFailed when the message cannot be encoded at all.
SyncResult<std::string> encode(const SyncMessage& message);

// The frame at the front of `bytes`: its message and how many bytes it took, or no message (and
// nothing taken) while the frame is incomplete. Fails with messageTooLarge on a prefix above
// `maximumBytes`, checked before any of the body is needed, and transportFailed on a body that is
// not a message.
struct Decoded {
  std::optional<SyncMessage> message;
  std::size_t consumed = 0;
};
SyncResult<Decoded> decodeFrame(std::string_view bytes,
                                std::size_t maximumBytes = maximumMessageBytes);

// Consumes every complete frame at the front of `buffer` and returns their messages in order. An
// incomplete frame (or fewer than 4 bytes) stays in `buffer` untouched. Fails with messageTooLarge
// on a prefix above the limit and transportFailed on a body that is not a message (an empty body
// included); the messages decoded earlier in the same call are then lost with their bytes.
SyncResult<std::vector<SyncMessage>> decode(std::string& buffer);

// The prefix-and-body arithmetic on its own, for callers and tests that deal in raw bodies.
std::optional<std::string> frame(std::string_view body);
std::uint32_t announcedLength(std::string_view buffer);  // needs at least 4 bytes

}  // namespace meterwright::SyncFraming
