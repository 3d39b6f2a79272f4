#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/sync/protocol/SyncError.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/sync/protocol/SyncMessage.h"

namespace meterwright {

// One TCP connection of the local-network protocol, as both the publisher (accepted sockets) and
// the subscriber (outgoing connections) use it: frames outgoing messages, reassembles incoming
// frames from arbitrary chunks and reports readiness, messages and failures through callbacks.
//
// The owner holds the wrapper in a shared_ptr; its network handlers hold it only weakly, so an
// owner that drops it gets no callback afterwards. Dropping it also closes the socket once the
// frames already handed to send() have been written (a refusal sent just before the drop still
// reaches the peer). The socket and its read buffer live apart from the wrapper, owned by the
// pending operations, so a drop from any thread never frees memory an operation still uses.
//
// Every callback runs on the socket's executor, which one thread runs (the owner's serial queue),
// one at a time and never under the buffer lock. Set the callbacks before start(). The executor's
// io_context must outlive the wrapper: dropping it posts the socket's close there.
//
// Private to the transport: only its sources and its tests include this, so Asio stays out of
// the builds of the publisher's and subscriber's users.
class FramedConnection : public std::enable_shared_from_this<FramedConnection> {
 public:
  // A socket that is already connected, such as one an acceptor handed over. onReady comes as
  // soon as start() has run on the executor.
  static std::shared_ptr<FramedConnection> accepted(asio::ip::tcp::socket socket);

  // A connection to `host` (a name or an address) and `port`, resolved and connected by start().
  // A failure to resolve or connect reaches onFailure. Messages sent before it is ready wait for
  // it and are written once it is.
  static std::shared_ptr<FramedConnection> connecting(asio::any_io_executor executor,
                                                      std::string host, std::uint16_t port);

  ~FramedConnection();
  FramedConnection(const FramedConnection&) = delete;
  FramedConnection& operator=(const FramedConnection&) = delete;

  // Called once per decoded message, in arrival order.
  std::function<void(const SyncMessage&)> onMessage;
  // Called when the connection fails, a send fails or input is malformed; always transportFailed.
  std::function<void(const SyncError&)> onFailure;
  // Called when the connection becomes ready; the first receive is issued right after it.
  std::function<void()> onReady;

  // Starts the connection on its executor; later calls do nothing.
  void start();

  // Frames and writes one message. Callable from any thread; writes leave in the order of the
  // calls that reach the executor, never interleaved. Failures go to onFailure.
  void send(const SyncMessage& message);

  // The owner's close: no callback is delivered from now on and the socket is closed at once,
  // unwritten frames included. Callable from any thread.
  void cancel();

  // The largest frame body this connection accepts from its peer from now on; a larger announced
  // length fails the connection before any of the body is read. Callable from any thread, and
  // from onMessage for the frames behind the message it handles.
  void limitIncomingMessageBytes(std::size_t bytes);

  asio::any_io_executor executor() const;

  // Whether frames handed to send() are still waiting to be written or being written. Call on the
  // executor.
  bool isSending() const;

  // Received bytes not yet consumed by a complete frame.
  std::size_t bufferedByteCount() const;

 private:
  struct Link;
  struct Private {};

 public:
  FramedConnection(Private, std::shared_ptr<Link> link);

 private:
  friend struct Link;

  // Handlers of the link, on the executor; each returns whether receiving goes on.
  void becameReady();
  bool received(const asio::error_code& error, std::string_view chunk);
  void fail(std::string text);

  std::shared_ptr<Link> link_;
  std::atomic<bool> started_ = false;
  std::atomic<bool> cancelled_ = false;
  std::atomic<std::size_t> incomingLimit_ = SyncFraming::maximumMessageBytes;
  mutable std::mutex lock_;  // guards buffer_ and consumed_
  std::string buffer_;
  // The front of buffer_ already delivered, erased once the frames of a chunk are done.
  std::size_t consumed_ = 0;
};

}  // namespace meterwright
