#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>

#include "cli/JobRunner.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "desktop/control/DeviceCommands.h"
#include "platform/control/ControlClient.h"
#include "platform/control/ControlServer.h"
#include "platform/secrets/FileSecretStore.h"
#include "support/RunningInstance.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

const Uuid phoneID = *Uuid::parse("1B4E28BA-2FA1-41D2-883F-0016D3CCA427");
const Uuid padID = *Uuid::parse("6F9619FF-8B86-4011-B42D-00C04FC964FF");
const Uuid watchID = *Uuid::parse("E1A5C7D0-0000-4000-8000-000000000003");
const Date paired = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

class DevicesJobTest : public ::testing::Test {
 protected:
  std::shared_ptr<PairedDeviceStore> pairedDevices() const {
    return std::make_shared<PairedDeviceStore>(
        std::make_shared<FileSecretStore>(locations.supportFolder() / "keychain",
                                          std::make_shared<SystemClock>()),
        "dev.velmora.meterwright.pairings");
  }

  void SetUp() override {
    std::shared_ptr<PairedDeviceStore> kept = pairedDevices();
    PairedDeviceStore& store = *kept;
    SymmetricKey key = SymmetricKey::random();
    store.save({{phoneID, "Ada\u2019s iPhone", "iOS", paired, addingSeconds(paired, 90000)}, key});
    store.save({{padID, "Ada\u2019s iPad", "iPadOS", addingSeconds(paired, 60), {}}, key});
    store.save({{watchID, "Watch", "watchOS", addingSeconds(paired, 120), {}}, key});
  }

  struct Outcome {
    int status;
    std::string out;
    std::string err;
  };
  Outcome run(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    int status = JobRunner::run(arguments, locations, out, err);
    return {status, out.str(), err.str()};
  }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
};

TEST_F(DevicesJobTest, ListsNameIdPairedAndLastSeenOldestFirstOrSaysNoneIsPaired) {
  Outcome listed = run({"--devices"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out,
            "NAME          ID                                    PAIRED            LAST SEEN\n"
            "Ada\u2019s iPhone  1B4E28BA-2FA1-41D2-883F-0016D3CCA427  2025-03-01 09:30  "
            "2025-03-02 10:30\n"
            "Ada\u2019s iPad    6F9619FF-8B86-4011-B42D-00C04FC964FF  2025-03-01 09:31  never\n"
            "Watch         E1A5C7D0-0000-4000-8000-000000000003  2025-03-01 09:32  never\n");
  EXPECT_EQ(listed.err, "");

  for (const char* name : {"Ada\u2019s iPhone", "Ada\u2019s iPad", "Watch"})
    ASSERT_EQ(run({"--revoke", name}).status, 0) << name;
  EXPECT_EQ(run({"--devices"}).out, "No devices are paired.\n");
}

// Each case starts from the three devices again.
TEST_F(DevicesJobTest, RevokesByExactIdOrUniqueNamePrefixOnly) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
    std::size_t left;
  };
  const std::vector<Case> cases{
      {{"--revoke", "e1a5c7d0-0000-4000-8000-000000000003"},
       0,
       "Watch (E1A5C7D0-0000-4000-8000-000000000003) is revoked.\n",
       "",
       2},
      {{"--revoke", "ada\u2019s iph"},
       0,
       "Ada\u2019s iPhone (1B4E28BA-2FA1-41D2-883F-0016D3CCA427) is revoked.\n",
       "",
       2},
      {{"--revoke", "Ada"},
       1,
       "",
       "meterwright: Ada matches several devices: Ada\u2019s iPhone "
       "(1B4E28BA-2FA1-41D2-883F-0016D3CCA427), Ada\u2019s iPad "
       "(6F9619FF-8B86-4011-B42D-00C04FC964FF)\n",
       3},
      {{"--revoke", "Toaster"}, 1, "", "meterwright: no paired device matches Toaster\n", 3},
      {{"--revoke", "6F9619FF"}, 1, "", "meterwright: no paired device matches 6F9619FF\n", 3},
      {{"--revoke"},
       2,
       "",
       "meterwright: --revoke needs a device id or the start of its name\n",
       3},
  };
  for (const Case& each : cases) {
    SetUp();
    Outcome outcome = run(each.arguments);
    const std::string given = each.arguments.back();
    EXPECT_EQ(outcome.status, each.status) << given;
    EXPECT_EQ(outcome.out, each.out) << given;
    EXPECT_EQ(outcome.err, each.err) << given;
    std::string listed = run({"--devices"}).out;
    EXPECT_EQ(static_cast<std::size_t>(std::count(listed.begin(), listed.end(), '\n')),
              each.left + 1)
        << given;
  }
}

// With an application running, the jobs ask it, and it does the same work on the same store.
TEST_F(DevicesJobTest, ARunningInstanceIsAskedAndTheOutputIsTheSame) {
  const std::vector<std::vector<std::string>> runs{
      {"--devices"},           {"--revoke", "Ada"},
      {"--revoke", "Toaster"}, {"--revoke", "watch"},
      {"--devices"},           {"--revoke", "6f9619ff-8b86-4011-b42d-00c04fc964ff"}};
  std::vector<Outcome> alone;
  for (const auto& arguments : runs) alone.push_back(run(arguments));
  SetUp();

  std::atomic<int> served = 0;
  {
    testing::RunningInstance instance(
        ControlClient::socketPath(locations), [&](ControlServer& server) {
          std::shared_ptr<PairedDeviceStore> store = pairedDevices();
          server.onDevices = [&served, store] {
            ++served;
            return DeviceCommands::list(*store);
          };
          server.onRevoke = [&served, store](const std::string& device) {
            ++served;
            return DeviceCommands::revoke(*store, device);
          };
        });
    ASSERT_TRUE(instance.listening());
    for (std::size_t i = 0; i < runs.size(); ++i) {
      Outcome through = run(runs[i]);
      EXPECT_EQ(through.status, alone[i].status) << runs[i].back();
      EXPECT_EQ(through.out, alone[i].out) << runs[i].back();
      EXPECT_EQ(through.err, alone[i].err) << runs[i].back();
    }
  }
  EXPECT_EQ(served, static_cast<int>(runs.size()));
}

}  // namespace
}  // namespace meterwright
