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
// own: a device that connects to the listener under test, or a Mac that the component under test
// connects to. Every operation has a deadline, so a far end that never answers fails the test
// instead of hanging it.
class LoopbackSocket {
  asio::io_context io_;  // first: the socket and the acceptor are built on it

 public:
  static constexpr std::chrono::seconds deadline{10};

  // Listens on a free loopback port; acceptWithin() or connectAndAccept() makes the connection.
  LoopbackSocket() : acceptor_(std::in_place, io_, asio::ip::tcp::endpoint{loopback(), 0}) {}

  // Connects to 127.0.0.1 at `port`; isConnected() tells whether that worked in time.
  explicit LoopbackSocket(std::uint16_t port) {
    asio::error_code outcome = asio::error::timed_out;
    socket.async_connect({loopback(), port},
                         [&](const asio::error_code& error) { outcome = error; });
    runFor(socket);
    connected_ = !outcome;
  }

  bool isConnected() const { return connected_; }
  std::uint16_t port() const { return acceptor_->local_endpoint().port(); }

  bool acceptWithin() {
    bool done = false;
    acceptor_->async_accept(socket, [&](const asio::error_code& error) { done = !error; });
    runFor(*acceptor_);
    return done;
  }

  // Connects to itself and returns the accepted end on `queue`, as an acceptor would hand it over.
  asio::ip::tcp::socket connectAndAccept(asio::io_context& queue) {
    socket.connect(acceptor_->local_endpoint());
    asio::ip::tcp::socket accepted(queue);
    acceptor_->accept(accepted);
    return accepted;
  }

  [[nodiscard]] bool write(std::string_view bytes) {
    bool done = false;
    asio::async_write(socket, asio::buffer(bytes.data(), bytes.size()),
                      [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(socket);
    return done;
  }

  [[nodiscard]] bool writeFrame(const SyncMessage& message) {
    SyncResult<std::string> frame = SyncFraming::encode(message);
    return frame.ok() && write(frame.value());
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
  bool seesCloseWithin() {
    char byte = 0;
    bool closed = false;
    socket.async_read_some(asio::buffer(&byte, 1), [&](const asio::error_code& error, std::size_t) {
      closed = error == asio::error::eof || error == asio::error::connection_reset;
    });
    runFor(socket);
    return closed;
  }

  asio::ip::tcp::socket socket{io_};

 private:
  static asio::ip::address loopback() { return asio::ip::address_v4::loopback(); }

  std::optional<std::string> readExactly(std::size_t count) {
    std::string bytes(count, '\0');
    bool done = false;
    asio::async_read(socket, asio::buffer(bytes),
                     [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(socket);
    if (!done) return std::nullopt;
    return bytes;
  }

  // Runs the one pending operation; one still pending at the deadline is cancelled and run out,
  // so its handler never outlives the caller's frame.
  template <typename Pending>
  void runFor(Pending& pending) {
    io_.restart();
    io_.run_for(deadline);
    if (!io_.stopped()) {
      asio::error_code ignored;
      pending.cancel(ignored);
      io_.restart();
      io_.run();
    }
  }

  std::optional<asio::ip::tcp::acceptor> acceptor_;
  bool connected_ = false;
};

}  // namespace meterwright::testing
