#pragma once

#include <asio.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/crypto/SymmetricKey.h"
#include "core/sync/lan/FramedConnection.h"
#include "core/sync/pairing/PairingCode.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/protocol/SyncError.h"
#include "core/sync/protocol/SyncMessage.h"
#include "core/sync/protocol/SyncPayload.h"

namespace meterwright {

// The device's end of the local-network protocol: connects to a Mac's publisher, pairs with a
// code or reconnects with a stored key, and opens the sealed snapshots it receives. Finding the
// Mac and storing the key are the device application's business; it never retries on its own.
//
// The connection runs on the subscriber's own queue (an io_context run by one thread); every
// callback runs there, never under the lock. The public operations may be called from any
// thread; callbacks must not destroy the subscriber.
class LocalNetworkSubscriber {
 public:
  // `platform` is the word sent with pair requests and hellos ("ios", "watchos", "linux").
  LocalNetworkSubscriber(PairingIdentity identity, std::string platform);
  ~LocalNetworkSubscriber();

  LocalNetworkSubscriber(const LocalNetworkSubscriber&) = delete;
  LocalNetworkSubscriber& operator=(const LocalNetworkSubscriber&) = delete;

  // Pairs with the Mac at `endpoint` (a resolved service) or at `host` (a name or an address)
  // and `port`. A port outside 1–65535 reports transportFailed("Bad port") and opens nothing.
  void connect(const asio::ip::tcp::endpoint& endpoint, const PairingCode& code);
  void connect(const std::string& host, int port, const PairingCode& code);

  // Reconnects a paired device with the key agreed earlier: hello, then requestSnapshot.
  void reconnect(const asio::ip::tcp::endpoint& endpoint, const SymmetricKey& key);
  void reconnect(const std::string& host, int port, const SymmetricKey& key);

  // Closes and forgets the connection, the key and any code.
  void disconnect();

  // Asks the Mac for the latest payload now; nothing without a connection.
  void requestSnapshot();

  const PairingIdentity& identity() const { return identity_; }
  const std::string& platform() const { return platform_; }

  // Set before connecting. Run on the queue.
  // A snapshot arrived and opened.
  std::function<void(const SyncPayload&)> onPayload;
  // Pairing succeeded: the Mac's acceptance and the agreed key, for the application to store.
  std::function<void(const SyncMessage::PairAccepted&, const SymmetricKey&)> onPaired;
  std::function<void(const SyncError&)> onError;

 private:
  using Connection = std::shared_ptr<FramedConnection>;

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

}  // namespace meterwright
