#pragma once

#include <asio.hpp>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace meterwright::testing {

// A serial queue as the network components use one: an io_context run by one thread of its own.
// Tests learn that a connection has gone quiet (nothing re-armed, nothing pending) by letting the
// queue run out of work instead of sleeping.
class QueueThread {
 public:
  QueueThread() : guard_(asio::make_work_guard(io)) {
    std::promise<void> finished;
    finished_ = finished.get_future();
    thread_ = std::thread([this, done = std::move(finished)]() mutable {
      io.run();
      done.set_value();
    });
  }

  ~QueueThread() {
    io.stop();
    thread_.join();
  }

  QueueThread(const QueueThread&) = delete;
  QueueThread& operator=(const QueueThread&) = delete;

  // True when every pending operation has completed within the deadline, so nothing can deliver a
  // callback any more. The queue cannot be used afterwards.
  bool drainsWithin(std::chrono::seconds deadline = std::chrono::seconds(10)) {
    guard_.reset();
    return finished_.wait_for(deadline) == std::future_status::ready;
  }

  std::thread::id threadID() const { return thread_.get_id(); }

  asio::io_context io;

 private:
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> guard_;
  std::future<void> finished_;
  std::thread thread_;
};

}  // namespace meterwright::testing
