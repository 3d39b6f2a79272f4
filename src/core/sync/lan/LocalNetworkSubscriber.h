#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/crypto/SymmetricKey.h"
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

  // Pairs with the Mac at `host` (a name or an address, such as a resolved service's) and `port`.
  // A port outside 1–65535 reports transportFailed("Bad port") and opens nothing.
  void connect(const std::string& host, int port, const PairingCode& code);

  // Reconnects a paired device with the key agreed earlier: hello, then requestSnapshot.
  void reconnect(const std::string& host, int port, const SymmetricKey& key);

  // Closes and forgets the connection, the key and any code.
  void disconnect();

  // Asks the Mac for the latest payload now; nothing without a connection.
  void requestSnapshot();

  const PairingIdentity& identity() const;
  const std::string& platform() const;

  // Set before connecting. Run on the queue.
  // A snapshot arrived and opened.
  std::function<void(const SyncPayload&)> onPayload;
  // Pairing succeeded: the Mac's acceptance and the agreed key, for the application to store.
  std::function<void(const SyncMessage::PairAccepted&, const SymmetricKey&)> onPaired;
  std::function<void(const SyncError&)> onError;

 private:
  // The connection and the queue, out of sight of the subscriber's users.
  struct Impl;
  // Last: destroyed first, so the queue has stopped before the callbacks it runs go.
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright
