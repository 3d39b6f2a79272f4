#include "core/sync/lan/FramedConnection.h"

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "core/sync/protocol/SyncFraming.h"

namespace meterwright {

namespace {

// One receive asks for at most this much; a larger frame is reassembled over several receives.
constexpr std::size_t maximumReadBytes = 65536;

// How long a dropped wrapper's socket may keep writing its last frames to a peer that does not
// read, before it is closed anyway.
constexpr std::chrono::seconds lingerAfterRelease{5};

}  // namespace

// The socket side of a connection. Only the executor's thread touches it; the pending operations
// own it, so it outlives the wrapper for as long as the operating system may still use its memory.
struct FramedConnection::Link : std::enable_shared_from_this<FramedConnection::Link> {
  explicit Link(asio::ip::tcp::socket connectedSocket)
      : executor(connectedSocket.get_executor()),
        socket(std::move(connectedSocket)),
        resolver(executor),
        linger(executor),
        connected(true) {}

  Link(asio::any_io_executor onExecutor, std::string toHost, std::uint16_t toPort)
      : executor(std::move(onExecutor)),
        socket(executor),
        resolver(executor),
        linger(executor),
        host(std::move(toHost)),
        port(toPort) {}

  void begin() {
    if (closed) return;
    if (connected) {
      ready();
      return;
    }
    auto self = shared_from_this();
    resolver.async_resolve(
        host, std::to_string(port), asio::ip::tcp::resolver::numeric_service,
        [self](const asio::error_code& error, asio::ip::tcp::resolver::results_type endpoints) {
          if (self->closed || error == asio::error::operation_aborted) return;
          if (error) return self->failed(error.message());
          asio::async_connect(
              self->socket, endpoints,
              [self](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
                if (self->closed || error == asio::error::operation_aborted) return;
                if (error) return self->failed(error.message());
                self->connected = true;
                self->ready();
              });
        });
  }

  void ready() {
    if (auto owner = wrapper.lock()) owner->becameReady();
    read();
    pump();
  }

  void read() {
    auto self = shared_from_this();
    socket.async_read_some(asio::buffer(chunk), [self](const asio::error_code& error,
                                                       std::size_t count) {
      if (self->closed) return;
      auto owner = self->wrapper.lock();
      if (!owner) return;
      if (owner->received(error, std::string_view(self->chunk.data(), count)) && !self->closed) {
        self->read();
      }
    });
  }

  void failed(std::string text) {
    if (auto owner = wrapper.lock()) owner->fail(std::move(text));
  }

  void enqueue(std::string frame) {
    if (closed || releasing) return;
    outgoing.push_back(std::move(frame));
    pump();
  }

  // One write in flight at a time: two overlapping async_writes on one socket may interleave
  // their pieces on the wire.
  void pump() {
    if (writing || !connected || closed || outgoing.empty()) return;
    writing = true;
    auto self = shared_from_this();
    // A deque keeps the front element in place while later frames are appended.
    asio::async_write(socket, asio::buffer(outgoing.front()),
                      [self](const asio::error_code& error, std::size_t) {
                        self->writing = false;
                        // Closing aborts the write in flight; its frame stays queued until now so
                        // the bytes outlive the operation.
                        if (self->closed || error == asio::error::operation_aborted) {
                          self->outgoing.clear();
                          return;
                        }
                        self->outgoing.pop_front();
                        if (error) self->failed(error.message());
                        if (self->releasing && self->outgoing.empty()) return self->close();
                        self->pump();
                      });
  }

  // The wrapper is gone: finish the frames it sent, then close.
  void release() {
    releasing = true;
    if (closed) return;
    if (!connected || outgoing.empty()) return close();
    auto self = shared_from_this();
    linger.expires_after(lingerAfterRelease);
    linger.async_wait([self](const asio::error_code& error) {
      if (!error) self->close();
    });
  }

  void close() {
    if (closed) return;
    closed = true;
    asio::error_code ignored;
    resolver.cancel();
    linger.cancel();
    socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

  asio::any_io_executor executor;
  asio::ip::tcp::socket socket;
  asio::ip::tcp::resolver resolver;
  asio::steady_timer linger;
  std::string host;
  std::uint16_t port = 0;
  std::weak_ptr<FramedConnection> wrapper;
  std::array<char, maximumReadBytes> chunk{};
  std::deque<std::string> outgoing;
  bool connected = false;
  bool writing = false;
  bool releasing = false;
  bool closed = false;
};

FramedConnection::FramedConnection(Private, std::shared_ptr<Link> link) : link_(std::move(link)) {}

std::shared_ptr<FramedConnection> FramedConnection::accepted(asio::ip::tcp::socket socket) {
  return std::make_shared<FramedConnection>(Private{}, std::make_shared<Link>(std::move(socket)));
}

std::shared_ptr<FramedConnection> FramedConnection::connecting(asio::any_io_executor executor,
                                                               std::string host,
                                                               std::uint16_t port) {
  return std::make_shared<FramedConnection>(
      Private{}, std::make_shared<Link>(std::move(executor), std::move(host), port));
}

FramedConnection::~FramedConnection() {
  asio::post(link_->executor, [link = link_] { link->release(); });
}

void FramedConnection::start() {
  if (started_.exchange(true)) return;
  auto link = link_;
  asio::post(link->executor, [link, wrapper = weak_from_this()] {
    link->wrapper = wrapper;
    link->begin();
  });
}

void FramedConnection::send(const SyncMessage& message) {
  SyncResult<std::string> frame = SyncFraming::encode(message);
  if (!frame.ok()) {
    asio::post(link_->executor, [wrapper = weak_from_this()] {
      if (auto self = wrapper.lock()) self->fail(SyncError::couldNotEncode().text);
    });
    return;
  }
  asio::post(link_->executor, [link = link_, bytes = std::move(frame).value()]() mutable {
    link->enqueue(std::move(bytes));
  });
}

void FramedConnection::cancel() {
  cancelled_ = true;
  asio::post(link_->executor, [link = link_] { link->close(); });
}

void FramedConnection::limitIncomingMessageBytes(std::size_t bytes) {
  incomingLimit_ = bytes;
}

asio::any_io_executor FramedConnection::executor() const {
  return link_->executor;
}

bool FramedConnection::isSending() const {
  return !link_->closed && (link_->writing || !link_->outgoing.empty());
}

std::size_t FramedConnection::bufferedByteCount() const {
  std::lock_guard guard(lock_);
  return buffer_.size() - consumed_;
}

void FramedConnection::becameReady() {
  if (!cancelled_ && onReady) onReady();
}

void FramedConnection::fail(std::string text) {
  if (!cancelled_ && onFailure) onFailure(SyncError::transportFailed(std::move(text)));
}

bool FramedConnection::received(const asio::error_code& error, std::string_view chunk) {
  if (cancelled_ || error == asio::error::operation_aborted) return false;
  if (error && error != asio::error::eof) {
    fail(error.message());
    return false;
  }
  if (!chunk.empty()) {
    {
      std::lock_guard guard(lock_);
      buffer_.append(chunk);
    }
    // One frame at a time, so a limit raised while handling a message applies to the next frame.
    // Consumed bytes are erased once the chunk's frames are done, not per frame.
    while (true) {
      std::optional<SyncMessage> message;
      bool malformed = false;
      {
        std::lock_guard guard(lock_);
        SyncResult<SyncFraming::Decoded> next =
            SyncFraming::decodeFrame(std::string_view(buffer_).substr(consumed_), incomingLimit_);
        if (!next.ok()) {
          malformed = true;
          buffer_.clear();
          consumed_ = 0;
        } else if (next.value().message) {
          consumed_ += next.value().consumed;
          message = std::move(next).value().message;
        } else {
          buffer_.erase(0, std::exchange(consumed_, 0));
        }
      }
      if (malformed) {
        fail(SyncError::malformedMessage().text);
        return false;
      }
      if (!message) break;
      if (cancelled_) return false;
      if (onMessage) onMessage(*message);
    }
  }
  // End of stream: the peer closed its side. Nothing more can arrive, and it is no failure.
  return error != asio::error::eof;
}

}  // namespace meterwright
