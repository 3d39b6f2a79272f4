#pragma once

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/encoding/Uuid.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/lan/QueueThread.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/sync/protocol/SyncMessage.h"

namespace meterwright::testing {

// Many loopback connections to one listener at once, each misbehaving in one way, all driven by
// one thread of their own: the peers a listener on a shared network must survive without letting
// them hold up real devices. Opened and waited on from one thread.
class ConnectionCrowd {
 public:
  enum class Behaviour {
    silent,       // connects and never writes
    randomBytes,  // writes 64 random bytes, then nothing
    hugePrefix,   // announces a frame of 1 MiB, then stays silent
    heavyFrame,   // announces a frame of 1 MiB and sends all of it but the last byte
    dribbling,    // writes a hello of a device nobody knows, one byte every 20 ms
  };

  ConnectionCrowd() = default;

  // Closes every connection and waits (boundedly) for the thread to run out of work.
  ~ConnectionCrowd() {
    asio::post(queue_.io, [this] {
      for (const auto& member : members_) member->close();
      members_.clear();
    });
    queue_.drainsWithin();
  }

  ConnectionCrowd(const ConnectionCrowd&) = delete;
  ConnectionCrowd& operator=(const ConnectionCrowd&) = delete;

  // Opens `count` connections to 127.0.0.1 at `port`, each behaving as told once connected.
  void open(std::uint16_t port, std::size_t count, Behaviour behaviour) {
    opened_ += count;
    asio::post(queue_.io, [this, port, count, behaviour] {
      for (std::size_t i = 0; i < count; ++i) {
        auto member = std::make_shared<Member>(*this, behaviour, members_.size());
        members_.push_back(member);
        member->connect(port);
      }
    });
  }

  // Whether every connection opened so far has connected within the deadline.
  bool waitUntilConnected(std::chrono::seconds deadline = Journal<bool>::deadline) {
    if (!connects_.waitFor(opened_, deadline)) return false;
    std::vector<bool> outcomes = connects_.items();
    return std::find(outcomes.begin(), outcomes.end(), false) == outcomes.end();
  }

  // Whether the listener has closed at least `count` of the connections in time.
  bool waitUntilClosedByListener(
      std::size_t count, std::chrono::seconds deadline = Journal<std::monostate>::deadline) {
    return closes_.waitFor(count, deadline);
  }

 private:
  // What a connection of `behaviour` writes once connected; `index` seeds the random bytes.
  // Shared between connections: a thousand heavy frames must not cost the crowd a gigabyte.
  static std::shared_ptr<const std::string> bytesOf(Behaviour behaviour, std::size_t index) {
    if (behaviour == Behaviour::heavyFrame) {
      static const auto heavy = std::make_shared<const std::string>(
          std::string("\x00\x10\x00\x00", 4) +
          std::string(SyncFraming::maximumMessageBytes - 1, '{'));
      return heavy;
    }
    std::string bytes;
    if (behaviour == Behaviour::randomBytes) {
      std::mt19937 generator(static_cast<std::uint32_t>(index));
      for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<char>(generator()));
    } else if (behaviour == Behaviour::hugePrefix) {
      bytes = std::string("\x00\x10\x00\x00", 4);  // 1048576, the largest allowed
    } else if (behaviour == Behaviour::dribbling) {
      bytes = SyncFraming::encode({SyncMessage::Hello{2, Uuid::random(), "Slow Tablet", "linux"}})
                  .value();
    }
    return std::make_shared<const std::string>(std::move(bytes));
  }

  // One connection; only the crowd's thread touches it.
  struct Member : std::enable_shared_from_this<Member> {
    Member(ConnectionCrowd& crowd, Behaviour behaviour, std::size_t index)
        : crowd(crowd),
          socket(crowd.queue_.io),
          timer(crowd.queue_.io),
          outgoing(bytesOf(behaviour, index)),
          dribbles(behaviour == Behaviour::dribbling) {}

    void connect(std::uint16_t port) {
      socket.async_connect({asio::ip::address_v4::loopback(), port},
                           [self = shared_from_this()](const asio::error_code& error) {
                             self->crowd.connects_.add(!error);
                             if (error) return;
                             self->read();
                             self->write();
                           });
    }

    // Drains whatever the listener answers, to learn when it closes the connection.
    void read() {
      socket.async_read_some(
          asio::buffer(incoming),
          [self = shared_from_this()](const asio::error_code& error, std::size_t) {
            if (!error) return self->read();
            if (error == asio::error::eof || error == asio::error::connection_reset) {
              self->crowd.closes_.add({});
            }
          });
    }

    // All at once, or one byte every 20 ms for a dribbler.
    void write() {
      if (written == outgoing->size()) return;
      std::size_t size = dribbles ? 1 : outgoing->size() - written;
      asio::async_write(
          socket, asio::buffer(outgoing->data() + written, size),
          [self = shared_from_this()](const asio::error_code& error, std::size_t count) {
            if (error) return;
            self->written += count;
            if (!self->dribbles) return;
            self->timer.expires_after(std::chrono::milliseconds(20));
            self->timer.async_wait([self](const asio::error_code& error) {
              if (!error) self->write();
            });
          });
    }

    void close() {
      asio::error_code ignored;
      timer.cancel();
      socket.close(ignored);
    }

    ConnectionCrowd& crowd;
    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    std::shared_ptr<const std::string> outgoing;
    bool dribbles;
    std::size_t written = 0;
    std::array<char, 4096> incoming{};
  };

  std::vector<std::shared_ptr<Member>> members_;  // the crowd's thread only
  std::size_t opened_ = 0;                        // the caller's thread only
  Journal<bool> connects_;                        // whether each connection attempt succeeded
  Journal<std::monostate> closes_;                // one per connection the listener closed

  // Last: its thread is stopped before the journals its handlers touch go.
  QueueThread queue_;
};

}  // namespace meterwright::testing
