#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/crypto/SymmetricKey.h"
#include "core/encoding/Uuid.h"
#include "core/sync/lan/ServiceAdvertiser.h"
#include "core/sync/pairing/PairedDevice.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/pairing/PairingInvitation.h"
#include "core/sync/protocol/SyncError.h"
#include "core/sync/protocol/SyncPayload.h"
#include "core/sync/protocol/SyncTransport.h"
#include "core/time/Clock.h"

namespace meterwright {

// The Mac's end of the local-network transport: a TCP listener, advertised by DNS-SD, that pairs
// new devices with the code the Mac shows, recognises returning devices by their hello, and writes
// sealed payloads to every connected device.
//
// The listener and every connection run on the publisher's own queue, one io_context run by one
// thread, so messages of all connections are handled one at a time. One lock guards the
// publisher's state; it is released before any message is sent and before a callback runs, except
// keyForDevice, which is called under it (lock order: SyncCoordinator.h). The public
// operations may be called from any thread. Callbacks run on the queue; none of them may destroy
// the publisher.
class LocalNetworkPublisher final : public SyncTransport {
 public:
  // Bounds on connections that have neither paired nor said hello: such a connection is closed
  // after `pendingTimeout`, and when `maximumPending` are waiting the oldest is closed to make
  // room, so idle or hostile connections cannot hold sockets and memory without end.
  struct Limits {
    std::chrono::milliseconds pendingTimeout{30000};
    std::size_t maximumPending = 256;
    // The largest frame a connection may send before it has paired or said hello. A pair request,
    // a hello and a snapshot request are far smaller, and strangers on the network must not make
    // the publisher hold a megabyte each; recognised devices may send frames of the protocol's
    // limit.
    std::size_t maximumUnrecognisedMessageBytes = 8192;
  };

  // Where start() listens. Every interface by default; one address (an IPv4 or IPv6 literal) keeps
  // the service to one network, or to loopback for tests and for pairing over an SSH tunnel.
  struct Listening {
    std::string address;     // empty: every interface
    std::uint16_t port = 0;  // 0: any
    bool advertise = true;
  };

  // Nothing is started. `advertiser` may be null: the listener then works by host and port alone.
  LocalNetworkPublisher(PairingIdentity identity, std::shared_ptr<const Clock> clock,
                        std::shared_ptr<ServiceAdvertiser> advertiser, Limits limits,
                        Listening listening);
  LocalNetworkPublisher(PairingIdentity identity, std::shared_ptr<const Clock> clock,
                        std::shared_ptr<ServiceAdvertiser> advertiser, Limits limits);
  LocalNetworkPublisher(PairingIdentity identity, std::shared_ptr<const Clock> clock,
                        std::shared_ptr<ServiceAdvertiser> advertiser);
  ~LocalNetworkPublisher() override;

  LocalNetworkPublisher(const LocalNetworkPublisher&) = delete;
  LocalNetworkPublisher& operator=(const LocalNetworkPublisher&) = delete;

  // As the constructor's Listening says (by default any port on every interface, advertised).
  SyncResult<void> start() override;
  // Listens on `port` (0: any) at the configured address and, when `advertise` is set, announces
  // the service once the listener is ready. transportFailed with the system's text when the
  // address is no IP literal or the listener cannot be created. A running listener is replaced.
  SyncResult<void> start(std::uint16_t port, bool advertise);
  // Closes the listener and every connection; keys, device records, the retained payload and the
  // invitation are kept. Returns once the sockets are closed (at most a few seconds).
  void stop() override;

  // Present once the listener is ready, until stop().
  std::optional<std::uint16_t> port() const;
  bool isAvailable() const override;
  // Polls port() every 20 ms until it is present or `timeout` seconds have passed.
  bool waitUntilReady(double timeout) const;
  // Polls every 20 ms until every connection has handed the frames it was given to the system,
  // or `timeout` seconds have passed; whether it had. A process that ends right after a pairing
  // calls it so the device gets what was sent to it before stop() closes the sockets.
  bool waitUntilSent(double timeout);

  // A fresh code valid for `lifetime` seconds; it replaces any earlier invitation.
  PairingInvitation makeInvitation(double lifetime);
  // The payload to hand each device as it pairs, says hello or asks.
  void retain(const SyncPayload& payload);
  // Writes one snapshot message with the envelope to each listed device that has a connection;
  // the others are skipped silently.
  void send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) override;
  // Closes and forgets one device (its stored record is the store's business).
  void revoke(const Uuid& deviceID);
  // The device records of this run, oldest pairing first.
  std::vector<PairedDevice> pairedDevices() const;

  std::string name() const override { return "Local network"; }
  double typicalLatency() const override { return 0.05; }

  // Why the service is not advertised, for the diagnostics: nothing while it is (or while the
  // listener runs unadvertised on purpose).
  std::optional<std::string> advertisementProblem() const;

  const PairingIdentity& identity() const;

  // Clears every callback below on the queue, waiting for a callback that is running there to
  // return, so their targets may be destroyed afterwards. Not from inside a callback.
  void detachCallbacks();

  // Set before start(). Run on the queue.
  // A device paired with the code: its record and the agreed key.
  std::function<void(const PairedDevice&, const SymmetricKey&)> onPairingCompleted;
  // The stored key of a device not known in this run. Called under the publisher's lock: it must
  // not call back into the publisher.
  std::function<std::optional<SymmetricKey>(const Uuid&)> keyForDevice;
  // After every pairing and every accepted hello.
  std::function<void(const PairedDevice&)> onDevicePaired;
  std::function<void(const SyncError&)> onError;

 private:
  // The listener, the connections and the queue, out of sight of the publisher's users.
  struct Impl;
  // Last: destroyed first, so the queue has stopped before the callbacks it runs go.
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright
