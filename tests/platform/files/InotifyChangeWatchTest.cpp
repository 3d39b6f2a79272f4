#include <gtest/gtest.h>

#include <filesystem>

#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "platform/files/InotifyChangeWatch.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::ManualClock;
using testing::TemporaryFolder;

TEST(InotifyChangeWatchTest, ReportsFilesRenamedIntoTheFolderUntilStopped) {
  TemporaryFolder folder;
  InotifyChangeWatch watch;
  testing::Journal<std::string> names;
  ASSERT_TRUE(watch.start(folder.path(), [&](const std::string& name) { names.add(name); }));
  testing::writeFile(folder.path() / "staged", "x");
  fs::rename(folder.path() / "staged", folder.path() / "record.json");
  EXPECT_TRUE(names.waitForItem("record.json"));
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
  testing::Journal<SyncEnvelope> inbox;
  device.onEnvelope = [&](const SyncEnvelope& envelope) { inbox.add(envelope); };
  computer.start();
  device.start();
  ASSERT_TRUE(computer.waitUntilChecked(10) && computer.isAvailable())
      << computer.unavailableReason().value_or("");
  ASSERT_TRUE(device.waitUntilChecked(10) && device.isAvailable())
      << device.unavailableReason().value_or("");
  device.subscribeToChanges();

  const SyncEnvelope envelope{2, computerIdentity.deviceID(), std::string(4096, '\x5a')};
  computer.send(envelope, {Uuid::random(), deviceID});
  ASSERT_TRUE(inbox.waitFor(1));
  EXPECT_EQ(inbox.items().front(), envelope);
  device.stop();
  EXPECT_EQ(device.unavailableReason(), "Not started");
}

}  // namespace
}  // namespace meterwright
