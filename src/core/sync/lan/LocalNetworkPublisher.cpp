#include "core/sync/lan/LocalNetworkPublisher.h"

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "core/sync/lan/FramedConnection.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/pairing/PairingRecord.h"
#include "core/sync/pairing/PublisherHandshake.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright {

namespace {

using asio::ip::tcp;

// A failed accept leaves the listener itself working (out of descriptors, a connection reset
// before it was taken); waiting a little keeps a full descriptor table from spinning the queue.
constexpr std::chrono::milliseconds acceptRetryPause{100};

// stop() waits this long at most for the queue to close the sockets.
constexpr std::chrono::seconds queueWaitLimit{5};

// Listens at `address`, or on every interface when it is empty: IPv6 with IPv4 mapped in where
// the system allows it, IPv4 alone where IPv6 is off.
asio::error_code listen(tcp::acceptor& acceptor, const std::string& address, std::uint16_t port) {
  std::vector<tcp::endpoint> endpoints{tcp::endpoint(tcp::v6(), port),
                                       tcp::endpoint(tcp::v4(), port)};
  asio::error_code error;
  if (!address.empty()) {
    asio::ip::address given = asio::ip::make_address(address, error);
    if (error) return error;
    endpoints = {tcp::endpoint(given, port)};
  }
  for (const tcp::endpoint& endpoint : endpoints) {
    asio::error_code ignored;
    error = {};
    acceptor.open(endpoint.protocol(), error);
    if (error) continue;
    if (endpoint.protocol() == tcp::v6() && address.empty())
      acceptor.set_option(asio::ip::v6_only(false), ignored);
    acceptor.set_option(tcp::acceptor::reuse_address(true), ignored);
    acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (!error) return {};
    acceptor.close(ignored);
  }
  return error;
}

bool listenerIsGone(const asio::error_code& error) {
  return error == asio::error::operation_aborted || error == asio::error::bad_descriptor ||
         error == asio::error::invalid_argument;
}

}  // namespace

struct LocalNetworkPublisher::Impl {
  Impl(LocalNetworkPublisher& owner, PairingIdentity identity, std::shared_ptr<const Clock> clock,
       std::shared_ptr<ServiceAdvertiser> advertiser, Limits limits, Listening listening);
  ~Impl();

  SyncResult<void> start(std::uint16_t port, bool advertise);
  void stop();
  std::optional<std::uint16_t> port() const;
  PairingInvitation makeInvitation(double lifetime);
  void retain(const SyncPayload& payload);
  void send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs);
  void revoke(const Uuid& deviceID);
  std::vector<PairedDevice> pairedDevices() const;
  std::optional<std::string> advertisementProblem() const;

  struct Pending {
    std::shared_ptr<FramedConnection> connection;
    std::chrono::steady_clock::time_point acceptedAt;
  };

  void acceptNext(std::shared_ptr<tcp::acceptor> acceptor);
  void listenerReady(const std::shared_ptr<tcp::acceptor>& acceptor, std::uint16_t listeningPort,
                     bool advertise);
  void accepted(tcp::socket socket);
  void sweepPending();
  void scheduleSweep();

  bool holdsLocked(const FramedConnection* connection) const;
  void handle(const SyncMessage& message, const std::shared_ptr<FramedConnection>& origin);
  // A pair request or a hello, answered as PublisherHandshake decides.
  void handleHandshake(const SyncMessage& message, const std::shared_ptr<FramedConnection>& origin);
  // With the lock held: `origin` becomes the device's connection, with its key and record.
  // Returns the connection it displaces, if any.
  std::shared_ptr<FramedConnection> registerLocked(const std::shared_ptr<FramedConnection>& origin,
                                                   const PairingRecord& record);
  void handleSnapshotRequest(const std::shared_ptr<FramedConnection>& origin);
  void sendSealed(const std::shared_ptr<FramedConnection>& connection, const SyncPayload& payload,
                  const SymmetricKey& key);
  void dropPending(const FramedConnection* connection);
  void report(const SyncError& error);
  // Runs `work` on the queue and waits for it (at most a few seconds); runs it at once on the
  // queue's own thread.
  void runOnQueue(std::function<void()> work);

  // Its callbacks are read on the queue.
  LocalNetworkPublisher& owner_;
  const PairingIdentity identity_;
  const std::shared_ptr<const Clock> clock_;
  const std::shared_ptr<ServiceAdvertiser> advertiser_;
  const Limits limits_;
  const Listening listening_;

  asio::io_context queue_;
  asio::executor_work_guard<asio::io_context::executor_type> keepQueue_;
  // Touched on the queue only.
  asio::steady_timer sweepTimer_;
  asio::steady_timer acceptPause_;
  bool sweepArmed_ = false;
  std::optional<std::string> acceptProblem_;

  mutable std::mutex lock_;  // guards the fields below
  std::shared_ptr<tcp::acceptor> listener_;
  std::optional<std::uint16_t> listenerPort_;
  bool isReady_ = false;
  bool advertiseRequested_ = false;
  std::optional<PairingInvitation> invitation_;
  std::map<Uuid, std::shared_ptr<FramedConnection>> connections_;
  std::map<const FramedConnection*, Pending> pending_;
  // The devices of this run, with their keys.
  std::map<Uuid, PairingRecord> known_;
  std::optional<SyncPayload> latest_;

  std::thread queueThread_;  // last: started after everything it touches exists
};

LocalNetworkPublisher::Impl::Impl(LocalNetworkPublisher& owner, PairingIdentity identity,
                                  std::shared_ptr<const Clock> clock,
                                  std::shared_ptr<ServiceAdvertiser> advertiser, Limits limits,
                                  Listening listening)
    : owner_(owner),
      identity_(std::move(identity)),
      clock_(std::move(clock)),
      advertiser_(std::move(advertiser)),
      limits_(limits),
      listening_(std::move(listening)),
      queue_(1),
      keepQueue_(asio::make_work_guard(queue_)),
      sweepTimer_(queue_),
      acceptPause_(queue_),
      queueThread_([this] { queue_.run(); }) {}

LocalNetworkPublisher::Impl::~Impl() {
  stop();
  keepQueue_.reset();
  queue_.stop();
  queueThread_.join();
}

SyncResult<void> LocalNetworkPublisher::Impl::start(std::uint16_t port, bool advertise) {
  auto acceptor = std::make_shared<tcp::acceptor>(queue_);
  if (asio::error_code error = listen(*acceptor, listening_.address, port)) {
    return SyncError::transportFailed(error.message());
  }
  asio::error_code error;
  std::uint16_t listening = acceptor->local_endpoint(error).port();
  if (error) return SyncError::transportFailed(error.message());

  std::shared_ptr<tcp::acceptor> previous;
  {
    std::lock_guard guard(lock_);
    previous = std::exchange(listener_, acceptor);
    listenerPort_ = listening;
    advertiseRequested_ = advertise;
  }
  asio::post(queue_, [this, acceptor, previous, listening, advertise] {
    asio::error_code ignored;
    if (previous) previous->close(ignored);
    listenerReady(acceptor, listening, advertise);
    acceptNext(acceptor);
  });
  return {};
}

void LocalNetworkPublisher::Impl::listenerReady(const std::shared_ptr<tcp::acceptor>& acceptor,
                                                std::uint16_t listeningPort, bool advertise) {
  {
    std::lock_guard guard(lock_);
    if (listener_ != acceptor) return;
    isReady_ = true;
  }
  if (advertise && advertiser_) {
    advertiser_->advertise(std::string(SyncProtocol::bonjourServiceType),
                           identity_.deviceID().text(), listeningPort);
  }
}

void LocalNetworkPublisher::Impl::acceptNext(std::shared_ptr<tcp::acceptor> acceptor) {
  acceptor->async_accept([this, acceptor](const asio::error_code& error, tcp::socket socket) {
    if (!acceptor->is_open()) return;
    if (!error) {
      acceptProblem_.reset();
      accepted(std::move(socket));
      return acceptNext(acceptor);
    }
    // Reported once per run of failures, so a full descriptor table does not flood onError.
    if (acceptProblem_ != error.message()) {
      acceptProblem_ = error.message();
      report(SyncError::transportFailed(error.message()));
    }
    if (listenerIsGone(error)) return;
    acceptPause_.expires_after(acceptRetryPause);
    acceptPause_.async_wait([this, acceptor](const asio::error_code& waited) {
      if (!waited && acceptor->is_open()) acceptNext(acceptor);
    });
  });
}

void LocalNetworkPublisher::Impl::accepted(tcp::socket socket) {
  std::shared_ptr<FramedConnection> connection = FramedConnection::accepted(std::move(socket));
  connection->limitIncomingMessageBytes(limits_.maximumUnrecognisedMessageBytes);
  std::weak_ptr<FramedConnection> weak = connection;
  connection->onMessage = [this, weak](const SyncMessage& message) {
    if (auto origin = weak.lock()) handle(message, origin);
  };
  connection->onFailure = [this, weak](const SyncError& error) {
    if (auto origin = weak.lock()) dropPending(origin.get());
    report(error);
  };

  std::shared_ptr<FramedConnection> evicted;
  {
    std::lock_guard guard(lock_);
    if (!listener_) return;  // stopped meanwhile: dropping the connection closes it
    if (pending_.size() >= limits_.maximumPending && !pending_.empty()) {
      auto oldest = std::min_element(pending_.begin(), pending_.end(), [](auto& a, auto& b) {
        return a.second.acceptedAt < b.second.acceptedAt;
      });
      evicted = std::move(oldest->second.connection);
      pending_.erase(oldest);
    }
    pending_[connection.get()] = Pending{connection, std::chrono::steady_clock::now()};
  }
  if (evicted) evicted->cancel();
  connection->start();
  scheduleSweep();
}

void LocalNetworkPublisher::Impl::scheduleSweep() {
  if (sweepArmed_) return;
  sweepArmed_ = true;
  auto interval = std::clamp<std::chrono::milliseconds>(
      limits_.pendingTimeout / 4, std::chrono::milliseconds(10), std::chrono::seconds(1));
  sweepTimer_.expires_after(interval);
  sweepTimer_.async_wait([this](const asio::error_code& error) {
    sweepArmed_ = false;
    if (!error) sweepPending();
  });
}

void LocalNetworkPublisher::Impl::sweepPending() {
  auto now = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<FramedConnection>> expired;
  bool anyLeft = false;
  {
    std::lock_guard guard(lock_);
    for (auto entry = pending_.begin(); entry != pending_.end();) {
      if (now - entry->second.acceptedAt >= limits_.pendingTimeout) {
        expired.push_back(std::move(entry->second.connection));
        entry = pending_.erase(entry);
      } else {
        ++entry;
      }
    }
    anyLeft = !pending_.empty();
  }
  for (const auto& connection : expired) connection->cancel();
  if (anyLeft) scheduleSweep();
}

bool LocalNetworkPublisher::Impl::holdsLocked(const FramedConnection* connection) const {
  if (pending_.count(connection) != 0) return true;
  return std::any_of(connections_.begin(), connections_.end(),
                     [&](const auto& entry) { return entry.second.get() == connection; });
}

void LocalNetworkPublisher::Impl::handle(const SyncMessage& message,
                                         const std::shared_ptr<FramedConnection>& origin) {
  if (message.as<SyncMessage::PairRequest>() || message.as<SyncMessage::Hello>()) {
    handleHandshake(message, origin);
  } else if (message.as<SyncMessage::RequestSnapshot>()) {
    handleSnapshotRequest(origin);
  } else if (const auto* failure = message.as<SyncMessage::Failure>()) {
    report(SyncError::refused(*failure));
  }
}

void LocalNetworkPublisher::Impl::handleHandshake(const SyncMessage& message,
                                                  const std::shared_ptr<FramedConnection>& origin) {
  PublisherHandshake::Answer answer;
  std::shared_ptr<FramedConnection> displaced;
  std::optional<SyncPayload> latest;
  {
    std::lock_guard guard(lock_);
    // Frames that arrived behind a refusal, or on a connection closed for idling, are not
    // answered: the publisher has let go of that connection.
    if (!holdsLocked(origin.get())) return;
    answer = PublisherHandshake::answer(message, invitation_, clock_->now(), identity_, known_,
                                        owner_.keyForDevice);
    if (answer.usesUp && invitation_ == answer.usesUp) invitation_.reset();
    if (answer.registers) {
      displaced = registerLocked(origin, *answer.registers);
      latest = latest_;
    }
  }
  // A device pairing again lets its earlier connection finish writing what it queued (dropping it
  // closes it afterwards); a returning device's earlier connection is cut off at once.
  if (displaced && !answer.pairedWithCode) displaced->cancel();
  displaced.reset();

  if (answer.reply) origin->send(*answer.reply);
  // Letting go of the connection closes it once the refusal is written.
  if (answer.closes) return dropPending(origin.get());
  if (!answer.registers) return;
  const PairingRecord& record = *answer.registers;
  if (latest) sendSealed(origin, *latest, record.key);
  if (answer.pairedWithCode && owner_.onPairingCompleted)
    owner_.onPairingCompleted(record.device, record.key);
  if (owner_.onDevicePaired) owner_.onDevicePaired(record.device);
}

std::shared_ptr<FramedConnection> LocalNetworkPublisher::Impl::registerLocked(
    const std::shared_ptr<FramedConnection>& origin, const PairingRecord& record) {
  pending_.erase(origin.get());
  origin->limitIncomingMessageBytes(SyncFraming::maximumMessageBytes);
  std::shared_ptr<FramedConnection> displaced;
  std::shared_ptr<FramedConnection>& slot = connections_[record.device.id];
  if (slot != origin) displaced = std::exchange(slot, origin);
  known_.insert_or_assign(record.device.id, record);
  return displaced;
}

void LocalNetworkPublisher::Impl::handleSnapshotRequest(
    const std::shared_ptr<FramedConnection>& origin) {
  std::optional<SyncPayload> latest;
  std::optional<SymmetricKey> key;
  {
    std::lock_guard guard(lock_);
    latest = latest_;
    for (const auto& [deviceID, connection] : connections_) {
      if (connection != origin) continue;
      if (auto found = known_.find(deviceID); found != known_.end()) key = found->second.key;
      break;
    }
  }
  // An unpaired connection gets no answer at all.
  if (latest && key) sendSealed(origin, *latest, *key);
}

void LocalNetworkPublisher::Impl::sendSealed(const std::shared_ptr<FramedConnection>& connection,
                                             const SyncPayload& payload, const SymmetricKey& key) {
  SyncResult<SyncEnvelope> envelope = EnvelopeSealing::seal(payload, identity_.deviceID(), key);
  if (envelope.ok()) connection->send({std::move(envelope).value()});
}

void LocalNetworkPublisher::Impl::dropPending(const FramedConnection* connection) {
  std::shared_ptr<FramedConnection> dropped;
  {
    std::lock_guard guard(lock_);
    auto entry = pending_.find(connection);
    if (entry == pending_.end()) return;
    dropped = std::move(entry->second.connection);
    pending_.erase(entry);
  }
}

void LocalNetworkPublisher::Impl::report(const SyncError& error) {
  if (owner_.onError) owner_.onError(error);
}

void LocalNetworkPublisher::Impl::stop() {
  std::shared_ptr<tcp::acceptor> listener;
  std::vector<std::shared_ptr<FramedConnection>> closing;
  {
    std::lock_guard guard(lock_);
    listener = std::exchange(listener_, nullptr);
    listenerPort_.reset();
    for (auto& [deviceID, connection] : connections_) closing.push_back(std::move(connection));
    for (auto& [key, entry] : pending_) closing.push_back(std::move(entry.connection));
    connections_.clear();
    pending_.clear();
  }
  for (const auto& connection : closing) connection->cancel();
  // The closes posted above run before this, so every socket is closed when stop() returns.
  runOnQueue([this, listener] {
    asio::error_code ignored;
    if (listener) listener->close(ignored);
    sweepTimer_.cancel();
    acceptPause_.cancel();
    if (advertiser_) advertiser_->withdraw();
  });
}

void LocalNetworkPublisher::Impl::runOnQueue(std::function<void()> work) {
  if (std::this_thread::get_id() == queueThread_.get_id()) return work();
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  asio::post(queue_, [work = std::move(work), done] {
    work();
    done->set_value();
  });
  finished.wait_for(queueWaitLimit);
}

std::optional<std::uint16_t> LocalNetworkPublisher::Impl::port() const {
  std::lock_guard guard(lock_);
  if (!isReady_ || !listener_ || !listenerPort_ || *listenerPort_ == 0) return std::nullopt;
  return listenerPort_;
}

PairingInvitation LocalNetworkPublisher::Impl::makeInvitation(double lifetime) {
  PairingInvitation invitation = identity_.invitation(lifetime, clock_->now());
  std::lock_guard guard(lock_);
  invitation_ = invitation;
  return invitation;
}

void LocalNetworkPublisher::Impl::retain(const SyncPayload& payload) {
  std::lock_guard guard(lock_);
  latest_ = payload;
}

void LocalNetworkPublisher::Impl::send(const SyncEnvelope& envelope,
                                       const std::vector<Uuid>& deviceIDs) {
  std::map<Uuid, std::shared_ptr<FramedConnection>> open;
  {
    std::lock_guard guard(lock_);
    open = connections_;
  }
  SyncMessage message{envelope};
  for (const Uuid& deviceID : deviceIDs) {
    if (auto found = open.find(deviceID); found != open.end()) found->second->send(message);
  }
}

void LocalNetworkPublisher::Impl::revoke(const Uuid& deviceID) {
  std::shared_ptr<FramedConnection> connection;
  {
    std::lock_guard guard(lock_);
    if (auto found = connections_.find(deviceID); found != connections_.end()) {
      connection = std::move(found->second);
      connections_.erase(found);
    }
    known_.erase(deviceID);
  }
  if (connection) connection->cancel();
}

std::vector<PairedDevice> LocalNetworkPublisher::Impl::pairedDevices() const {
  std::vector<PairedDevice> devices;
  {
    std::lock_guard guard(lock_);
    for (const auto& [deviceID, record] : known_) devices.push_back(record.device);
  }
  std::stable_sort(
      devices.begin(), devices.end(),
      [](const PairedDevice& a, const PairedDevice& b) { return a.pairedAt < b.pairedAt; });
  return devices;
}

std::optional<std::string> LocalNetworkPublisher::Impl::advertisementProblem() const {
  bool requested = false;
  {
    std::lock_guard guard(lock_);
    requested = advertiseRequested_ && listener_;
  }
  if (!requested) return std::nullopt;
  if (!advertiser_) return "No DNS-SD advertiser is available";
  return advertiser_->problem();
}

LocalNetworkPublisher::LocalNetworkPublisher(PairingIdentity identity,
                                             std::shared_ptr<const Clock> clock,
                                             std::shared_ptr<ServiceAdvertiser> advertiser,
                                             Limits limits, Listening listening)
    : impl_(std::make_unique<Impl>(*this, std::move(identity), std::move(clock),
                                   std::move(advertiser), limits, std::move(listening))) {}

LocalNetworkPublisher::LocalNetworkPublisher(PairingIdentity identity,
                                             std::shared_ptr<const Clock> clock,
                                             std::shared_ptr<ServiceAdvertiser> advertiser,
                                             Limits limits)
    : LocalNetworkPublisher(std::move(identity), std::move(clock), std::move(advertiser), limits,
                            Listening{}) {}

LocalNetworkPublisher::LocalNetworkPublisher(PairingIdentity identity,
                                             std::shared_ptr<const Clock> clock,
                                             std::shared_ptr<ServiceAdvertiser> advertiser)
    : LocalNetworkPublisher(std::move(identity), std::move(clock), std::move(advertiser), Limits{},
                            Listening{}) {}

LocalNetworkPublisher::~LocalNetworkPublisher() = default;

SyncResult<void> LocalNetworkPublisher::start() {
  return impl_->start(impl_->listening_.port, impl_->listening_.advertise);
}

SyncResult<void> LocalNetworkPublisher::start(std::uint16_t port, bool advertise) {
  return impl_->start(port, advertise);
}

void LocalNetworkPublisher::stop() {
  impl_->stop();
}

std::optional<std::uint16_t> LocalNetworkPublisher::port() const {
  return impl_->port();
}

bool LocalNetworkPublisher::isAvailable() const {
  return port().has_value();
}

PairingInvitation LocalNetworkPublisher::makeInvitation(double lifetime) {
  return impl_->makeInvitation(lifetime);
}

void LocalNetworkPublisher::retain(const SyncPayload& payload) {
  impl_->retain(payload);
}

void LocalNetworkPublisher::send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) {
  impl_->send(envelope, deviceIDs);
}

void LocalNetworkPublisher::revoke(const Uuid& deviceID) {
  impl_->revoke(deviceID);
}

std::vector<PairedDevice> LocalNetworkPublisher::pairedDevices() const {
  return impl_->pairedDevices();
}

std::optional<std::string> LocalNetworkPublisher::advertisementProblem() const {
  return impl_->advertisementProblem();
}

bool LocalNetworkPublisher::waitUntilReady(double timeout) const {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      Seconds(std::clamp(timeout, 0.0, 86400.0)));
  while (std::chrono::steady_clock::now() < deadline) {
    if (port()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool LocalNetworkPublisher::waitUntilSent(double timeout) {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      Seconds(std::clamp(timeout, 0.0, 86400.0)));
  for (;;) {
    // Shared: a queue too busy to answer in time runs the check after this call has returned.
    auto sending = std::make_shared<std::atomic<bool>>(true);
    impl_->runOnQueue([this, sending] {
      std::vector<std::shared_ptr<FramedConnection>> open;
      {
        std::lock_guard guard(impl_->lock_);
        for (const auto& [id, connection] : impl_->connections_) open.push_back(connection);
        for (const auto& [key, entry] : impl_->pending_) open.push_back(entry.connection);
      }
      *sending = std::any_of(open.begin(), open.end(),
                             [](const auto& connection) { return connection->isSending(); });
    });
    if (!*sending) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void LocalNetworkPublisher::detachCallbacks() {
  impl_->runOnQueue([this] {
    onPairingCompleted = nullptr;
    keyForDevice = nullptr;
    onDevicePaired = nullptr;
    onError = nullptr;
    onEnvelope = nullptr;
  });
}

const PairingIdentity& LocalNetworkPublisher::identity() const {
  return impl_->identity_;
}

}  // namespace meterwright
