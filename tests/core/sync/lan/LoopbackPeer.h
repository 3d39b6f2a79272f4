#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>

#include "core/sync/lan/DeadlineSocket.h"

namespace meterwright::testing {

// The accepting end of a real loopback TCP connection, playing the far side of the component under
// test.
class LoopbackPeer : public DeadlineSocket {
 public:
  LoopbackPeer() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {}

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

  // The socket an acceptor would hand the component, on `queue`.
  asio::ip::tcp::socket connectAndAccept(asio::io_context& queue) {
    socket.connect(acceptor_.local_endpoint());
    asio::ip::tcp::socket accepted(queue);
    acceptor_.accept(accepted);
    return accepted;
  }

  bool acceptWithin(std::chrono::seconds deadline = defaultDeadline) {
    bool done = false;
    acceptor_.async_accept(socket, [&](const asio::error_code& error) { done = !error; });
    runFor(deadline, acceptor_);
    return done;
  }

 private:
  asio::ip::tcp::acceptor acceptor_;
};

}  // namespace meterwright::testing
