#pragma once

#include <asio.hpp>
#include <cstdint>

#include "core/sync/lan/DeadlineSocket.h"

namespace meterwright::testing {

// A device's end of a loopback connection to a listener, for the cases that must send exact or
// deliberately wrong bytes.
class DeviceSocket : public DeadlineSocket {
 public:
  // Connects to 127.0.0.1 at `port`; isConnected() tells whether that worked in time.
  explicit DeviceSocket(std::uint16_t port) {
    asio::error_code outcome = asio::error::timed_out;
    socket.async_connect({asio::ip::address_v4::loopback(), port},
                         [&](const asio::error_code& error) { outcome = error; });
    runFor(defaultDeadline, socket);
    connected_ = !outcome;
  }

  bool isConnected() const { return connected_; }

 private:
  bool connected_ = false;
};

}  // namespace meterwright::testing
