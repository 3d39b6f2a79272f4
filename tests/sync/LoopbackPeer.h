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

// The far end of a real loopback TCP connection; every read has a deadline so a test fails instead
// of hanging.
class LoopbackPeer {
  asio::io_context io_;  // first: the sockets below are built on it

 public:
  LoopbackPeer() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {}

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

  // The socket an acceptor would hand the publisher, on `queue`.
  asio::ip::tcp::socket connectAndAccept(asio::io_context& queue) {
    socket.connect(acceptor_.local_endpoint());
    asio::ip::tcp::socket accepted(queue);
    acceptor_.accept(accepted);
    return accepted;
  }

  bool acceptWithin(std::chrono::seconds deadline = std::chrono::seconds(10)) {
    bool done = false;
    acceptor_.async_accept(socket, [&](const asio::error_code& error) { done = !error; });
    runFor(deadline, acceptor_);
    return done;
  }

  void write(std::string_view bytes) {
    asio::write(socket, asio::buffer(bytes.data(), bytes.size()));
  }

  void writeFrame(const SyncMessage& message) {
    write(std::move(SyncFraming::encode(message)).value());
  }

  std::optional<std::string> readExactly(std::size_t count,
                                         std::chrono::seconds deadline = std::chrono::seconds(10)) {
    std::string bytes(count, '\0');
    bool done = false;
    asio::async_read(socket, asio::buffer(bytes),
                     [&](const asio::error_code& error, std::size_t) { done = !error; });
    runFor(deadline, socket);
    if (!done) return std::nullopt;
    return bytes;
  }

  std::optional<SyncMessage> readMessage() {
    std::optional<std::string> prefix = readExactly(SyncFraming::prefixBytes);
    if (!prefix) return std::nullopt;
    std::uint32_t length = SyncFraming::announcedLength(*prefix);
    std::optional<std::string> body = readExactly(length);
    if (!body) return std::nullopt;
    return SyncCoding::decodeMessage(*body);
  }

  // Whether the other end closes its side (a read ends with end-of-stream or a reset) in time.
  bool seesCloseWithin(std::chrono::seconds deadline = std::chrono::seconds(10)) {
    char byte = 0;
    bool closed = false;
    socket.async_read_some(asio::buffer(&byte, 1), [&](const asio::error_code& error, std::size_t) {
      closed = error == asio::error::eof || error == asio::error::connection_reset;
    });
    runFor(deadline, socket);
    return closed;
  }

  asio::ip::tcp::socket socket{io_};

 private:
  template <typename Cancellable>
  void runFor(std::chrono::seconds deadline, Cancellable& operation) {
    io_.restart();
    io_.run_for(deadline);
    if (!io_.stopped()) {
      operation.cancel();
      io_.restart();
      io_.run();
    }
  }

  asio::ip::tcp::acceptor acceptor_;
};

}  // namespace meterwright::testing
