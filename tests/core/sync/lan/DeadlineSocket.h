#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/sync/protocol/SyncMessage.h"

namespace meterwright::testing {

// One end of a loopback TCP connection, driven by the test step by step on an io_context of its
// own. Every operation has a deadline, so a far end that never answers fails the test instead of
// hanging it. DeviceSocket and LoopbackPeer differ only in how the connection is made.
class DeadlineSocket {
 protected:
  asio::io_context io_;  // first: the socket is built on it

 public:
  static constexpr std::chrono::seconds defaultDeadline{10};

  [[nodiscard]] bool write(std::string_view bytes) {
    bool done = false;
    asio::async_write(socket, asio::buffer(bytes.data(), bytes.size()),
                      [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(defaultDeadline, socket);
    return done;
  }

  [[nodiscard]] bool writeFrame(const SyncMessage& message) {
    SyncResult<std::string> frame = SyncFraming::encode(message);
    return frame.ok() && write(frame.value());
  }

  // One byte per write, each leaving as its own segment, so the far end gets them one by one.
  [[nodiscard]] bool dribble(std::string_view bytes) {
    asio::error_code error;
    socket.set_option(asio::ip::tcp::no_delay(true), error);
    if (error) return false;
    for (char byte : bytes) {
      if (!write(std::string_view(&byte, 1))) return false;
    }
    return true;
  }

  std::optional<std::string> readExactly(std::size_t count,
                                         std::chrono::seconds deadline = defaultDeadline) {
    std::string bytes(count, '\0');
    bool done = false;
    asio::async_read(socket, asio::buffer(bytes),
                     [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(deadline, socket);
    if (!done) return std::nullopt;
    return bytes;
  }

  // The next message, or nothing when none arrives in time or the bytes are not a message. A
  // length over the maximum is refused before anything is allocated for it.
  std::optional<SyncMessage> readMessage() {
    std::optional<std::string> prefix = readExactly(SyncFraming::prefixBytes);
    if (!prefix) return std::nullopt;
    std::uint32_t length = SyncFraming::announcedLength(*prefix);
    if (length > SyncFraming::maximumMessageBytes) return std::nullopt;
    std::optional<std::string> body = readExactly(length);
    if (!body) return std::nullopt;
    return SyncCoding::decodeMessage(*body);
  }

  // Whether the far end closes the connection (a read ends with end-of-stream or a reset) in
  // time. Bytes that arrive first fail the check: they were not expected.
  bool seesCloseWithin(std::chrono::seconds deadline = defaultDeadline) {
    char byte = 0;
    bool closed = false;
    socket.async_read_some(asio::buffer(&byte, 1), [&](const asio::error_code& error, std::size_t) {
      closed = error == asio::error::eof || error == asio::error::connection_reset;
    });
    runFor(deadline, socket);
    return closed;
  }

  asio::ip::tcp::socket socket{io_};

 protected:
  // Runs the one pending operation; one still pending at the deadline is cancelled and run out,
  // so its handler never outlives the caller's frame.
  template <typename Pending>
  void runFor(std::chrono::seconds deadline, Pending& pending) {
    io_.restart();
    io_.run_for(deadline);
    if (!io_.stopped()) {
      asio::error_code ignored;
      pending.cancel(ignored);
      io_.restart();
      io_.run();
    }
  }
};

}  // namespace meterwright::testing
