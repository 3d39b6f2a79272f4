#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "platform/files/InotifyChangeWatch.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::ManualClock;
using testing::TemporaryFolder;

// What arrives from another thread, awaited with a deadline.
template <typename T>
class Arrivals {
 public:
  void put(T value) {
    {
      std::lock_guard lock(mutex_);
      values_.push_back(std::move(value));
    }
    changed_.notify_all();
  }
  std::vector<T> await(const std::function<bool(const std::vector<T>&)>& done) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return done(values_); });
    return values_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<T> values_;
};

TEST(InotifyChangeWatchTest, ReportsFilesRenamedIntoTheFolderUntilStopped) {
  TemporaryFolder folder;
  InotifyChangeWatch watch;
  Arrivals<std::string> names;
  ASSERT_TRUE(watch.start(folder.path(), [&](const std::string& name) { names.put(name); }));
  testing::writeFile(folder.path() / "staged", "x");
  fs::rename(folder.path() / "staged", folder.path() / "record.json");
  auto seen = names.await([](const auto& values) {
    return std::find(values.begin(), values.end(), "record.json") != values.end();
  });
  EXPECT_NE(std::find(seen.begin(), seen.end(), "record.json"), seen.end());
  watch.stop();
  EXPECT_FALSE(watch.start(folder.path() / "missing", [](const std::string&) {}));
}

// Two transports on one container, as a computer and a device on two ends of a synced folder.
TEST(InotifyChangeWatchTest, AnEnvelopeSentByTheComputerReachesTheDeviceThroughTheWatch) {
  TemporaryFolder folder;
  const fs::path container = folder.path() / "container";
  fs::create_directory(container);
  auto clock = std::make_shared<ManualClock>();
  PairingIdentity computerIdentity(Uuid::random(), "Studio");
  const Uuid deviceID = Uuid::random();
  CloudKitTransport computer(computerIdentity.deviceID(), container, clock, nullptr);
  CloudKitTransport device(deviceID, container, clock, std::make_shared<InotifyChangeWatch>());
  Arrivals<SyncEnvelope> inbox;
  device.onEnvelope = [&](const SyncEnvelope& envelope) { inbox.put(envelope); };
  computer.start();
  device.start();
  ASSERT_TRUE(computer.waitUntilChecked(10) && computer.isAvailable())
      << computer.unavailableReason().value_or("");
  ASSERT_TRUE(device.waitUntilChecked(10) && device.isAvailable())
      << device.unavailableReason().value_or("");
  device.subscribeToChanges();

  const SyncEnvelope envelope{2, computerIdentity.deviceID(), std::string(4096, '\x5a')};
  computer.send(envelope, {Uuid::random(), deviceID});
  auto received = inbox.await([](const auto& values) { return !values.empty(); });
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), envelope);
  device.stop();
  EXPECT_EQ(device.unavailableReason(), "Not started");
}

}  // namespace
}  // namespace meterwright
