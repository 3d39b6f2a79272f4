#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/sync/protocol/SyncMessage.h"

namespace meterwright::testing {

// Many loopback connections to one listener at once, each misbehaving in one way, all driven by
// one thread of their own: the peers a listener on a shared network must survive without letting
// them hold up real devices.
class ConnectionCrowd {
 public:
  enum class Behaviour {
    silent,       // connects and never writes
    randomBytes,  // writes 64 random bytes, then nothing
    hugePrefix,   // announces a frame of 1 MiB, then stays silent
    dribbling,    // writes a hello of a device nobody knows, one byte every 20 ms
  };

  ConnectionCrowd() : keepRunning_(asio::make_work_guard(io_)) {
    std::promise<void> finished;
    finished_ = finished.get_future();
    thread_ = std::thread([this, done = std::move(finished)]() mutable {
      io_.run();
      done.set_value();
    });
  }

  // Closes every connection and waits (boundedly) for the thread to run out of work.
  ~ConnectionCrowd() {
    asio::post(io_, [this] {
      for (const auto& member : members_) member->close();
    });
    keepRunning_.reset();
    if (finished_.wait_for(std::chrono::seconds(10)) != std::future_status::ready) io_.stop();
    thread_.join();
  }

  ConnectionCrowd(const ConnectionCrowd&) = delete;
  ConnectionCrowd& operator=(const ConnectionCrowd&) = delete;

  // Opens `count` connections to 127.0.0.1 at `port`, each behaving as told once connected.
  void open(std::uint16_t port, std::size_t count, Behaviour behaviour) {
    {
      std::lock_guard guard(mutex_);
      opened_ += count;
    }
    asio::post(io_, [this, port, count, behaviour] {
      for (std::size_t i = 0; i < count; ++i) {
        auto member = std::make_shared<Member>(*this, behaviour, members_.size());
        members_.push_back(member);
        member->connect(port);
      }
    });
  }

  // Whether every connection opened so far has connected within the deadline.
  bool waitUntilConnected(std::chrono::seconds deadline = std::chrono::seconds(10)) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, deadline, [this] { return connected_ + failed_ >= opened_; }) &&
           failed_ == 0;
  }

  // Whether the listener has closed at least `count` of the connections within the deadline.
  bool waitUntilClosedByListener(std::size_t count,
                                 std::chrono::seconds deadline = std::chrono::seconds(10)) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, deadline, [&] { return closedByListener_ >= count; });
  }

  std::size_t closedByListener() const {
    std::lock_guard guard(mutex_);
    return closedByListener_;
  }

 private:
  // One connection; only the crowd's thread touches it.
  struct Member : std::enable_shared_from_this<Member> {
    Member(ConnectionCrowd& crowd, Behaviour behaviour, std::size_t index)
        : crowd(crowd), behaviour(behaviour), socket(crowd.io_), timer(crowd.io_), index(index) {}

    void connect(std::uint16_t port) {
      socket.async_connect(
          {asio::ip::address_v4::loopback(), port},
          [self = shared_from_this()](const asio::error_code& error) {
            self->crowd.count(error ? &ConnectionCrowd::failed_ : &ConnectionCrowd::connected_);
            if (error) return;
            self->read();
            self->misbehave();
          });
    }

    // Drains whatever the listener answers, to learn when it closes the connection.
    void read() {
      socket.async_read_some(
          asio::buffer(incoming),
          [self = shared_from_this()](const asio::error_code& error, std::size_t) {
            if (!error) return self->read();
            if (error == asio::error::eof || error == asio::error::connection_reset) {
              self->crowd.count(&ConnectionCrowd::closedByListener_);
            }
          });
    }

    void misbehave() {
      switch (behaviour) {
        case Behaviour::silent:
          return;
        case Behaviour::randomBytes: {
          std::mt19937 generator(static_cast<std::uint32_t>(index));
          for (int i = 0; i < 64; ++i) outgoing.push_back(static_cast<char>(generator()));
          return writeAll();
        }
        case Behaviour::hugePrefix:
          outgoing = std::string("\x00\x10\x00\x00", 4);  // 1048576, the largest allowed
          return writeAll();
        case Behaviour::dribbling:
          outgoing =
              SyncFraming::encode({SyncMessage::Hello{2, Uuid::random(), "Slow Tablet", "linux"}})
                  .value();
          return dribble();
      }
    }

    void writeAll() {
      asio::async_write(socket, asio::buffer(outgoing),
                        [self = shared_from_this()](const asio::error_code&, std::size_t) {});
    }

    void dribble() {
      if (written == outgoing.size()) return;
      asio::async_write(socket, asio::buffer(&outgoing[written], 1),
                        [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                          if (error) return;
                          ++self->written;
                          self->timer.expires_after(std::chrono::milliseconds(20));
                          self->timer.async_wait([self](const asio::error_code& error) {
                            if (!error) self->dribble();
                          });
                        });
    }

    void close() {
      asio::error_code ignored;
      timer.cancel();
      socket.close(ignored);
    }

    ConnectionCrowd& crowd;
    Behaviour behaviour;
    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    std::size_t index;
    std::string outgoing;
    std::size_t written = 0;
    std::array<char, 4096> incoming{};
  };

  void count(std::size_t ConnectionCrowd::*counter) {
    {
      std::lock_guard guard(mutex_);
      ++(this->*counter);
    }
    changed_.notify_all();
  }

  asio::io_context io_;  // before the members, whose sockets are built on it
  asio::executor_work_guard<asio::io_context::executor_type> keepRunning_;
  std::vector<std::shared_ptr<Member>> members_;  // the crowd's thread only

  mutable std::mutex mutex_;  // guards the counters
  std::condition_variable changed_;
  std::size_t opened_ = 0;
  std::size_t connected_ = 0;
  std::size_t failed_ = 0;
  std::size_t closedByListener_ = 0;

  std::future<void> finished_;
  std::thread thread_;
};

}  // namespace meterwright::testing
