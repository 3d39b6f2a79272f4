#include "core/sync/lan/LocalNetworkSubscriber.h"

#include <asio.hpp>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "core/sync/lan/FramedConnection.h"
#include "core/sync/pairing/SubscriberHandshake.h"

namespace meterwright {

struct LocalNetworkSubscriber::Impl {
  using Connection = std::shared_ptr<FramedConnection>;

  Impl(LocalNetworkSubscriber& owner, PairingIdentity identity, std::string platform);
  ~Impl();

  void connect(const std::string& host, int port, const PairingCode& code);
  void reconnect(const std::string& host, int port, const SymmetricKey& key);
  void disconnect();
  void requestSnapshot();

  // Makes `connection` the current one: a pairing when `code` is set, else a reconnect with `key`.
  void open(Connection connection, std::optional<PairingCode> code,
            std::optional<SymmetricKey> key);
  // The connection's callbacks, each ignoring a connection that is no longer the current one.
  void ready(const Connection& from, const std::optional<PairingCode>& code);
  // Applies what SubscriberHandshake makes of `message` to `from`, if still current.
  void handle(const Connection& from, const SyncMessage& message);
  bool isCurrent(const Connection& connection) const;
  // Runs onError on the queue, for failures found on the caller's thread.
  void reportLater(SyncError error);
  void report(const SyncError& error);

  // Its callbacks are read on the queue.
  LocalNetworkSubscriber& owner_;
  const PairingIdentity identity_;
  const std::string platform_;

  asio::io_context queue_;
  asio::executor_work_guard<asio::io_context::executor_type> keepQueue_;

  mutable std::mutex lock_;  // guards the three fields below
  std::shared_ptr<FramedConnection> connection_;
  std::optional<SymmetricKey> key_;
  std::optional<PairingCode> pairingCode_;

  std::thread queueThread_;  // last: started after everything it touches exists
};

LocalNetworkSubscriber::Impl::Impl(LocalNetworkSubscriber& owner, PairingIdentity identity,
                                   std::string platform)
    : owner_(owner),
      identity_(std::move(identity)),
      platform_(std::move(platform)),
      keepQueue_(asio::make_work_guard(queue_)),
      queueThread_([this] { queue_.run(); }) {}

LocalNetworkSubscriber::Impl::~Impl() {
  Connection closing;
  {
    std::lock_guard guard(lock_);
    closing = std::move(connection_);
  }
  if (closing) closing->cancel();
  closing.reset();
  // Stopping rather than draining: a connection still resolving or lingering over unwritten
  // frames must not hold up the owner. The io_context's destructor frees what is left pending.
  queue_.stop();
  queueThread_.join();
}

void LocalNetworkSubscriber::Impl::connect(const std::string& host, int port,
                                           const PairingCode& code) {
  if (port < 1 || port > 65535) return reportLater(SyncError::transportFailed("Bad port"));
  open(FramedConnection::connecting(queue_.get_executor(), host, static_cast<std::uint16_t>(port)),
       code, std::nullopt);
}

void LocalNetworkSubscriber::Impl::reconnect(const std::string& host, int port,
                                             const SymmetricKey& key) {
  if (port < 1 || port > 65535) return reportLater(SyncError::transportFailed("Bad port"));
  open(FramedConnection::connecting(queue_.get_executor(), host, static_cast<std::uint16_t>(port)),
       std::nullopt, key);
}

void LocalNetworkSubscriber::Impl::disconnect() {
  Connection closing;
  {
    std::lock_guard guard(lock_);
    closing = std::move(connection_);
    key_.reset();
    pairingCode_.reset();
  }
  if (closing) closing->cancel();
}

void LocalNetworkSubscriber::Impl::requestSnapshot() {
  Connection current;
  {
    std::lock_guard guard(lock_);
    current = connection_;
  }
  if (current) current->send({SyncMessage::RequestSnapshot{}});
}

void LocalNetworkSubscriber::Impl::open(Connection connection, std::optional<PairingCode> code,
                                        std::optional<SymmetricKey> key) {
  // Weak captures: the connection owns these handlers, so a strong one would keep it alive forever.
  std::weak_ptr<FramedConnection> weak = connection;
  connection->onReady = [this, weak, code] {
    if (Connection from = weak.lock()) ready(from, code);
  };
  connection->onFailure = [this, weak](const SyncError& error) {
    if (Connection from = weak.lock(); from && isCurrent(from)) report(error);
  };
  connection->onMessage = [this, weak](const SyncMessage& message) {
    if (Connection from = weak.lock()) handle(from, message);
  };

  const bool pairing = code.has_value();
  Connection replaced;
  {
    std::lock_guard guard(lock_);
    replaced = std::exchange(connection_, connection);
    if (pairing) {
      key_.reset();
      pairingCode_ = std::move(code);
    } else {
      key_ = std::move(key);
    }
  }
  // A pairing lets the previous connection finish writing what it queued (dropping it closes it
  // afterwards); a reconnect cuts it off at once.
  if (replaced && !pairing) replaced->cancel();
  replaced.reset();
  connection->start();
}

void LocalNetworkSubscriber::Impl::ready(const Connection& from,
                                         const std::optional<PairingCode>& code) {
  if (!isCurrent(from)) return;
  for (const SyncMessage& message : SubscriberHandshake::opening(identity_, platform_, code)) {
    from->send(message);
  }
}

void LocalNetworkSubscriber::Impl::handle(const Connection& from, const SyncMessage& message) {
  std::optional<PairingCode> code;
  std::optional<SymmetricKey> key;
  {
    std::lock_guard guard(lock_);
    if (connection_ != from) return;
    code = pairingCode_;
    key = key_;
  }
  // Nobody takes payloads: a snapshot is not worth opening.
  if (message.as<SyncEnvelope>() && key && !owner_.onPayload) return;

  SubscriberHandshake::Outcome outcome =
      SubscriberHandshake::receive(message, identity_, code, key);
  if (outcome.paired || outcome.closes) {
    Connection closing;
    {
      std::lock_guard guard(lock_);
      // Another thread may have opened a new connection since; that one is not this Mac's.
      if (connection_ != from) return;
      if (outcome.closes) closing = std::move(connection_);
      key_ = outcome.paired;
      pairingCode_.reset();
    }
    if (closing) closing->cancel();
  }
  if (outcome.error) report(*outcome.error);
  if (outcome.payload && owner_.onPayload) owner_.onPayload(*outcome.payload);
  if (outcome.paired && owner_.onPaired) {
    owner_.onPaired(*message.as<SyncMessage::PairAccepted>(), *outcome.paired);
  }
}

bool LocalNetworkSubscriber::Impl::isCurrent(const Connection& connection) const {
  std::lock_guard guard(lock_);
  return connection_ == connection;
}

void LocalNetworkSubscriber::Impl::reportLater(SyncError error) {
  // `this` outlives the handler: the destructor stops the queue before any member goes.
  asio::post(queue_, [this, error = std::move(error)] { report(error); });
}

void LocalNetworkSubscriber::Impl::report(const SyncError& error) {
  if (owner_.onError) owner_.onError(error);
}

LocalNetworkSubscriber::LocalNetworkSubscriber(PairingIdentity identity, std::string platform)
    : impl_(std::make_unique<Impl>(*this, std::move(identity), std::move(platform))) {}

LocalNetworkSubscriber::~LocalNetworkSubscriber() = default;

void LocalNetworkSubscriber::connect(const std::string& host, int port, const PairingCode& code) {
  impl_->connect(host, port, code);
}

void LocalNetworkSubscriber::reconnect(const std::string& host, int port, const SymmetricKey& key) {
  impl_->reconnect(host, port, key);
}

void LocalNetworkSubscriber::disconnect() {
  impl_->disconnect();
}

void LocalNetworkSubscriber::requestSnapshot() {
  impl_->requestSnapshot();
}

const PairingIdentity& LocalNetworkSubscriber::identity() const {
  return impl_->identity_;
}

const std::string& LocalNetworkSubscriber::platform() const {
  return impl_->platform_;
}

}  // namespace meterwright
