#pragma once

#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "core/sync/lan/Journal.h"
#include "core/sync/lan/LocalNetworkSubscriber.h"

namespace meterwright::testing {

// A real device: a subscriber with everything it reports and the threads it reports on. The
// subscriber is held by pointer so a test can destroy it on a thread of its own.
struct RecordingDevice {
  explicit RecordingDevice(std::string name)
      : RecordingDevice(PairingIdentity(Uuid::random(), std::move(name)), "linux") {}

  RecordingDevice(PairingIdentity identity, std::string platform)
      : subscriber(
            std::make_unique<LocalNetworkSubscriber>(std::move(identity), std::move(platform))) {
    subscriber->onPaired = [this](const SyncMessage::PairAccepted& accepted,
                                  const SymmetricKey& key) {
      addOnThisThread(paired, {accepted, key}, threads);
    };
    subscriber->onPayload = [this](const SyncPayload& payload) {
      addOnThisThread(payloads, payload, threads);
    };
    subscriber->onError = [this](const SyncError& error) {
      addOnThisThread(errors, error, threads);
    };
  }

  Uuid id() const { return subscriber->identity().deviceID(); }

  Journal<std::pair<SyncMessage::PairAccepted, SymmetricKey>> paired;
  Journal<SyncPayload> payloads;
  Journal<SyncError> errors;
  Journal<std::thread::id> threads;
  std::unique_ptr<LocalNetworkSubscriber> subscriber;  // last: its callbacks use the journals
};

}  // namespace meterwright::testing
