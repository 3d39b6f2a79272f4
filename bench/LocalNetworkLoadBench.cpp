#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/sync/SyncCoordinator.h"
#include "core/sync/lan/ConnectionCrowd.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/lan/LocalNetworkSubscriber.h"
#include "platform/secrets/FileSecretStore.h"

namespace meterwright {
namespace {

using namespace std::chrono_literals;
using testing::ConnectionCrowd;
using Moment = std::chrono::steady_clock::time_point;

constexpr int deviceCount = 50;
constexpr int payloadCount = 100;
// Far beyond what a sound publisher needs even under a sanitizer; reaching it means a deadlock or
// lost envelopes.
constexpr auto deadline = 60s;

const Date firstSentAt = dateFromUnixSeconds(1'740'821'400);

// Each payload carries its sequence number as its sentAt second, so a device can tell the order.
SyncPayload numberedPayload(int number) {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", firstSentAt, {}};
  claude.windows = {{300, 42.5, addingSeconds(firstSentAt, 7200), {}},
                    {10080, 18, addingSeconds(firstSentAt, 400'000), {}}};
  SyncPayload payload;
  payload.sentAt = addingSeconds(firstSentAt, number);
  payload.sourceName = "Load Mac";
  payload.snapshot = Snapshot{firstSentAt, {claude}, "composite", "direct"};
  payload.providers = {
      ProviderConfig{"claude", "Claude", true, {300, 10080}, "sparkle", "#D97757", 300}};
  payload.icons = {{"claude", std::string(512, '\x5A')}};
  return payload;
}

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The store's item lives in a folder of the run's own, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "meterwright-load-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// What the devices and the publisher report, for the benchmark thread to wait on.
class Tally {
 public:
  explicit Tally(int devices) : received_(devices) {}

  void welcomed() {
    change([&] { ++welcomed_; });
  }
  void received(int device, int number) {
    change([&] { received_[device].push_back(number); });
  }
  void failed(std::string text) {
    change([&] { failures_.push_back(std::move(text)); });
  }

  bool waitUntilWelcomed(int count) {
    return waitUntil([&] { return welcomed_ >= count || !failures_.empty(); }) && failures_.empty();
  }
  bool waitUntilReceived(std::size_t count) {
    return waitUntil([&] {
             if (!failures_.empty()) return true;
             for (const auto& numbers : received_) {
               if (numbers.size() < count) return false;
             }
             return true;
           }) &&
           failures_.empty();
  }

  // Why the run failed, if it did: a device's error, or one that missed or reordered payloads.
  std::optional<std::string> problem(int expected) const {
    std::lock_guard guard(mutex_);
    if (!failures_.empty()) return failures_.front();
    for (std::size_t device = 0; device < received_.size(); ++device) {
      const std::vector<int>& numbers = received_[device];
      for (int i = 0; i < expected; ++i) {
        if (i >= static_cast<int>(numbers.size()) || numbers[i] != i) {
          return "device " + std::to_string(device) + " lacks payload " + std::to_string(i) +
                 " in order (" + std::to_string(numbers.size()) + " received)";
        }
      }
    }
    return std::nullopt;
  }

 private:
  template <typename Change>
  void change(Change&& apply) {
    {
      std::lock_guard guard(mutex_);
      apply();
    }
    changed_.notify_all();
  }

  template <typename Condition>
  bool waitUntil(Condition&& condition) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, deadline, condition);
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int welcomed_ = 0;
  std::vector<std::vector<int>> received_;
  std::vector<std::string> failures_;
};

struct Figures {
  double connectSeconds = 0;
  double deliverSeconds = 0;
};

double secondsSince(Moment start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One run: 50 paired devices reconnect while 150 idle or hostile connections are open, then 100
// payloads are published to all of them. Nothing when every device got every payload in order
// and no descriptor was left open; otherwise what went wrong.
std::optional<std::string> runLoad(Figures& figures) {
  ScratchFolder folder;
  if (folder.path().empty()) return "no temporary folder";
  auto clock = std::make_shared<SystemClock>();
  auto store = std::make_shared<PairedDeviceStore>(
      std::make_shared<FileSecretStore>(folder.path() / "keychain", clock),
      "dev.velmora.meterwright.pairings");
  const PairingIdentity mac(Uuid::random(), "Load Mac");
  Tally tally(deviceCount);  // before the publisher, whose callbacks use it
  SyncCoordinator coordinator(mac, store);
  auto publisher = std::make_shared<LocalNetworkPublisher>(mac, clock, nullptr);
  publisher->keyForDevice = [store](const Uuid& id) -> std::optional<SymmetricKey> {
    std::optional<PairingRecord> record = store->record(id);
    if (!record) return std::nullopt;
    return record->key;
  };
  publisher->onDevicePaired = [&](const PairedDevice&) { tally.welcomed(); };
  coordinator.add(publisher);

  // Paired in an earlier run, as the sync manager finds them in the store.
  std::vector<PairingIdentity> identities;
  std::vector<SymmetricKey> keys;
  for (int i = 0; i < deviceCount; ++i) {
    identities.emplace_back(Uuid::random(), "Device " + std::to_string(i));
    keys.push_back(SymmetricKey::random());
    PairedDevice device{identities.back().deviceID(), identities.back().deviceName(), "linux",
                        clock->now(), std::nullopt};
    if (!store->save({device, keys.back()})) return "the store did not save a pairing";
  }

  const std::size_t descriptorsBefore = openDescriptorCount();
  coordinator.start();
  if (!publisher->waitUntilReady(10)) return "the publisher did not start listening";
  const std::uint16_t port = *publisher->port();
  {
    ConnectionCrowd crowd;
    std::vector<std::unique_ptr<LocalNetworkSubscriber>> devices;
    const Moment connecting = std::chrono::steady_clock::now();
    crowd.open(port, 60, ConnectionCrowd::Behaviour::silent);
    crowd.open(port, 30, ConnectionCrowd::Behaviour::randomBytes);
    crowd.open(port, 30, ConnectionCrowd::Behaviour::dribbling);
    crowd.open(port, 30, ConnectionCrowd::Behaviour::hugePrefix);
    for (int i = 0; i < deviceCount; ++i) {
      auto device = std::make_unique<LocalNetworkSubscriber>(identities[i], "linux");
      device->onPayload = [&tally, i](const SyncPayload& payload) {
        tally.received(i,
                       static_cast<int>(std::lround(secondsBetween(firstSentAt, payload.sentAt))));
      };
      device->onError = [&tally, i](const SyncError& error) {
        tally.failed("device " + std::to_string(i) + " failed: " + error.text);
      };
      device->reconnect("127.0.0.1", port, keys[i]);
      devices.push_back(std::move(device));
    }
    if (!crowd.waitUntilConnected(deadline)) return "the crowd could not connect";
    if (!tally.waitUntilWelcomed(deviceCount)) {
      return tally.problem(0).value_or("not every device was welcomed back");
    }
    figures.connectSeconds = secondsSince(connecting);

    const Moment publishing = std::chrono::steady_clock::now();
    for (int i = 0; i < payloadCount; ++i) coordinator.publish(numberedPayload(i));
    tally.waitUntilReceived(payloadCount);
    figures.deliverSeconds = secondsSince(publishing);
    if (std::optional<std::string> problem = tally.problem(payloadCount)) return problem;
    coordinator.stop();
  }

  // Sockets close as the last handlers run, so the count settles shortly after.
  const Moment closing = std::chrono::steady_clock::now();
  std::size_t descriptorsAfter = openDescriptorCount();
  while (descriptorsAfter != descriptorsBefore && secondsSince(closing) < 5) {
    std::this_thread::sleep_for(10ms);
    descriptorsAfter = openDescriptorCount();
  }
  if (descriptorsAfter != descriptorsBefore) {
    return std::to_string(descriptorsBefore) + " descriptors open before the run, " +
           std::to_string(descriptorsAfter) + " after it";
  }
  return std::nullopt;
}

// A correctness check as much as a measurement: any failure skips the benchmark with the reason,
// so a short CI run shows it.
void BM_LocalNetworkUnderLoad(benchmark::State& state) {
  for (auto _ : state) {
    Figures figures;
    if (std::optional<std::string> problem = runLoad(figures)) {
      state.SkipWithError(problem->c_str());
      return;
    }
    state.counters["connectSeconds"] = figures.connectSeconds;
    state.counters["deliverSeconds"] = figures.deliverSeconds;
    state.counters["payloadsPerSecond"] = payloadCount / figures.deliverSeconds;
  }
}
BENCHMARK(BM_LocalNetworkUnderLoad)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meterwright
