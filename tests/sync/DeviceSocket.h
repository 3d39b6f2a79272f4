#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/sync/SyncCoding.h"
#include "core/sync/SyncFraming.h"
#include "core/sync/SyncMessage.h"

namespace meterwright::testing {

// A device's end of a loopback connection to a listener, driven by the test step by step, for the
// cases that must send exact or deliberately wrong bytes. Every operation has a deadline, so a
// listener that never answers fails the test instead of hanging it.
class DeviceSocket {
  asio::io_context io_;  // first: the socket is built on it

 public:
  static constexpr std::chrono::seconds defaultDeadline{10};

  // Connects to 127.0.0.1 at `port`; isConnected() tells whether that worked in time.
  explicit DeviceSocket(std::uint16_t port) {
    asio::error_code outcome = asio::error::timed_out;
    socket_.async_connect({asio::ip::address_v4::loopback(), port},
                          [&](const asio::error_code& error) { outcome = error; });
    runFor(defaultDeadline);
    connected_ = !outcome;
    // Each write leaves as its own segment, so dribbled bytes reach the listener one by one.
    if (connected_) socket_.set_option(asio::ip::tcp::no_delay(true), outcome);
  }

  bool isConnected() const { return connected_; }

  bool write(std::string_view bytes) {
    bool done = false;
    asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()),
                      [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(defaultDeadline);
    return done;
  }

  bool writeFrame(const SyncMessage& message) {
    SyncResult<std::string> frame = SyncFraming::encode(message);
    return frame.ok() && write(frame.value());
  }

  // One byte per write.
  bool dribble(std::string_view bytes) {
    for (char byte : bytes) {
      if (!write(std::string_view(&byte, 1))) return false;
    }
    return true;
  }

  // The next message, or nothing when none arrives in time or the bytes are not a message.
  std::optional<SyncMessage> readMessage() {
    std::optional<std::string> prefix = readExactly(SyncFraming::prefixBytes);
    if (!prefix) return std::nullopt;
    std::uint32_t length = SyncFraming::announcedLength(*prefix);
    if (length > SyncFraming::maximumMessageBytes) return std::nullopt;
    std::optional<std::string> body = readExactly(length);
    if (!body) return std::nullopt;
    return SyncCoding::decodeMessage(*body);
  }

  // Whether the listener closes the connection (a read ends with end-of-stream or a reset) in
  // time. Bytes that arrive first fail the check: they were not expected.
  bool seesCloseWithin(std::chrono::seconds deadline = defaultDeadline) {
    char byte = 0;
    bool closed = false;
    socket_.async_read_some(
        asio::buffer(&byte, 1), [&](const asio::error_code& error, std::size_t) {
          closed = error == asio::error::eof || error == asio::error::connection_reset;
        });
    runFor(deadline);
    return closed;
  }

 private:
  std::optional<std::string> readExactly(std::size_t count) {
    std::string bytes(count, '\0');
    bool done = false;
    asio::async_read(socket_, asio::buffer(bytes),
                     [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(defaultDeadline);
    if (!done) return std::nullopt;
    return bytes;
  }

  // Runs the one pending operation; one still pending at the deadline is cancelled and run out,
  // so its handler never outlives the caller's frame.
  void runFor(std::chrono::steady_clock::duration deadline) {
    io_.restart();
    io_.run_for(deadline);
    if (!io_.stopped()) {
      asio::error_code ignored;
      socket_.cancel(ignored);
      io_.restart();
      io_.run();
    }
  }

  asio::ip::tcp::socket socket_{io_};
  bool connected_ = false;
};

}  // namespace meterwright::testing
