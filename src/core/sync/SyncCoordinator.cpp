#include "core/sync/SyncCoordinator.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/sync/pairing/EnvelopeSealing.h"

namespace meterwright {

namespace {

// A transport reports why it could not start as transportFailed with the platform's text; an
// error without text is still named, so the user never reads a bare "Local network: ".
std::string describe(const SyncError& error) {
  if (!error.text.empty()) return error.text;
  if (error.failure) return error.failure->detail;
  return "could not start";
}

}  // namespace

SyncCoordinator::SyncCoordinator(PairingIdentity identity, std::shared_ptr<PairedDeviceStore> store)
    : identity_(std::move(identity)), store_(std::move(store)) {}

void SyncCoordinator::add(std::shared_ptr<SyncTransport> transport) {
  if (!transport) return;
  std::lock_guard guard(lock_);
  transports_.push_back(std::move(transport));
}

std::vector<std::shared_ptr<SyncTransport>> SyncCoordinator::allTransports() const {
  std::lock_guard guard(lock_);
  return transports_;
}

std::vector<std::shared_ptr<SyncTransport>> SyncCoordinator::availableTransports() const {
  struct Candidate {
    std::shared_ptr<SyncTransport> transport;
    double latency;
  };
  std::vector<Candidate> available;
  {
    std::lock_guard guard(lock_);
    for (const auto& transport : transports_) {
      // Latency is asked once per transport, so the sort compares stable values.
      if (transport->isAvailable()) available.push_back({transport, transport->typicalLatency()});
    }
  }
  std::stable_sort(available.begin(), available.end(),
                   [](const Candidate& a, const Candidate& b) { return a.latency < b.latency; });
  std::vector<std::shared_ptr<SyncTransport>> sorted;
  sorted.reserve(available.size());
  for (Candidate& candidate : available) sorted.push_back(std::move(candidate.transport));
  return sorted;
}

void SyncCoordinator::start() {
  for (const auto& transport : allTransports()) {
    std::optional<std::string> failure;
    try {
      SyncResult<void> started = transport->start();
      if (!started.ok()) failure = describe(started.error());
    } catch (const std::exception& error) {
      // A transport built on a throwing library must not take the other transports down.
      failure = error.what();
    } catch (...) {
      failure = "unknown error";
    }
    if (failure && onError)
      onError(SyncError::transportFailed(transport->name() + ": " + *failure));
  }
}

void SyncCoordinator::stop() {
  for (const auto& transport : allTransports()) transport->stop();
}

void SyncCoordinator::publish(const SyncPayload& payload) {
  {
    std::lock_guard guard(lock_);
    latest_ = payload;
  }
  // Availability is asked once per publish, so every device sees the same set of routes.
  const std::vector<std::shared_ptr<SyncTransport>> transports = availableTransports();
  if (transports.empty()) return;
  for (const PairingRecord& record : store_->records()) {
    // One seal per device with a fresh nonce, shared by every transport.
    SyncResult<SyncEnvelope> envelope =
        EnvelopeSealing::seal(payload, identity_.deviceID(), record.key);
    if (!envelope.ok()) continue;
    const std::vector<Uuid> recipients{record.device.id};
    for (const auto& transport : transports) transport->send(envelope.value(), recipients);
  }
}

void SyncCoordinator::remember(const PairedDevice& device, const SymmetricKey& key) {
  // A failed write shows through the store's isRemembering(); the pairing still works this run.
  store_->save(PairingRecord{device, key});
  if (onDevicePaired) onDevicePaired(device);
  std::optional<SyncPayload> latest = currentPayload();
  if (latest) publish(*latest);
}

std::optional<SyncPayload> SyncCoordinator::currentPayload() const {
  std::lock_guard guard(lock_);
  return latest_;
}

void SyncCoordinator::revoke(const Uuid& deviceID) {
  store_->remove(deviceID);
}

std::vector<PairedDevice> SyncCoordinator::pairedDevices() const {
  return store_->devices();
}

}  // namespace meterwright
