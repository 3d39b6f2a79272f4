#include "core/sync/lan/LocalNetworkSubscriber.h"

#include <utility>

#include "core/sync/pairing/SubscriberHandshake.h"

namespace meterwright {

LocalNetworkSubscriber::LocalNetworkSubscriber(PairingIdentity identity, std::string platform)
    : identity_(std::move(identity)),
      platform_(std::move(platform)),
      keepQueue_(asio::make_work_guard(queue_)),
      queueThread_([this] { queue_.run(); }) {}

LocalNetworkSubscriber::~LocalNetworkSubscriber() {
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

void LocalNetworkSubscriber::connect(const asio::ip::tcp::endpoint& endpoint,
                                     const PairingCode& code) {
  connect(endpoint.address().to_string(), endpoint.port(), code);
}

void LocalNetworkSubscriber::connect(const std::string& host, int port, const PairingCode& code) {
  if (port < 1 || port > 65535) return reportLater(SyncError::transportFailed("Bad port"));
  open(FramedConnection::connecting(queue_.get_executor(), host, static_cast<std::uint16_t>(port)),
       code, std::nullopt);
}

void LocalNetworkSubscriber::reconnect(const asio::ip::tcp::endpoint& endpoint,
                                       const SymmetricKey& key) {
  reconnect(endpoint.address().to_string(), endpoint.port(), key);
}

void LocalNetworkSubscriber::reconnect(const std::string& host, int port, const SymmetricKey& key) {
  if (port < 1 || port > 65535) return reportLater(SyncError::transportFailed("Bad port"));
  open(FramedConnection::connecting(queue_.get_executor(), host, static_cast<std::uint16_t>(port)),
       std::nullopt, key);
}

void LocalNetworkSubscriber::disconnect() {
  Connection closing;
  {
    std::lock_guard guard(lock_);
    closing = std::move(connection_);
    key_.reset();
    pairingCode_.reset();
  }
  if (closing) closing->cancel();
}

void LocalNetworkSubscriber::requestSnapshot() {
  Connection current;
  {
    std::lock_guard guard(lock_);
    current = connection_;
  }
  if (current) current->send({SyncMessage::RequestSnapshot{}});
}

void LocalNetworkSubscriber::open(Connection connection, std::optional<PairingCode> code,
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

void LocalNetworkSubscriber::ready(const Connection& from, const std::optional<PairingCode>& code) {
  if (!isCurrent(from)) return;
  for (const SyncMessage& message : SubscriberHandshake::opening(identity_, platform_, code)) {
    from->send(message);
  }
}

void LocalNetworkSubscriber::handle(const Connection& from, const SyncMessage& message) {
  std::optional<PairingCode> code;
  std::optional<SymmetricKey> key;
  {
    std::lock_guard guard(lock_);
    if (connection_ != from) return;
    code = pairingCode_;
    key = key_;
  }
  // Nobody takes payloads: a snapshot is not worth opening.
  if (message.as<SyncEnvelope>() && key && !onPayload) return;

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
  if (outcome.payload && onPayload) onPayload(*outcome.payload);
  if (outcome.paired && onPaired) {
    onPaired(*message.as<SyncMessage::PairAccepted>(), *outcome.paired);
  }
}

bool LocalNetworkSubscriber::isCurrent(const Connection& connection) const {
  std::lock_guard guard(lock_);
  return connection_ == connection;
}

void LocalNetworkSubscriber::reportLater(SyncError error) {
  // `this` outlives the handler: the destructor stops the queue before any member goes.
  asio::post(queue_, [this, error = std::move(error)] { report(error); });
}

void LocalNetworkSubscriber::report(const SyncError& error) {
  if (onError) onError(error);
}

}  // namespace meterwright
