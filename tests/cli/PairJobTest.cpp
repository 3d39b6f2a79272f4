// `meterwright --pair` with a device that is none of this project's code: a Python script that
// speaks the protocol from its description.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/usage/SnapshotStore.h"
#include "platform/control/ControlClient.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/ProcessRun.h"
#include "support/FakePrograms.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

// A Python 3 that has the cryptography package, or why there is none.
std::optional<std::string> pythonWithCryptography(std::string& why) {
  for (const char* candidate : {"/usr/bin/python3", "/usr/local/bin/python3"}) {
    if (!fs::exists(candidate)) continue;
    auto probe = runCollectingOutput(
        candidate, {"-c", "import cryptography.hazmat.primitives.ciphers.aead"}, {}, 30, 1, 4096);
    if (probe && probe->exitStatus == 0) return candidate;
    why = std::string(candidate) + " has no cryptography module (python3-cryptography)";
  }
  if (why.empty()) why = "python3 is not installed";
  return std::nullopt;
}

class PairJobTest : public ::testing::Test {
 protected:
  EnvironmentBlock environment() const {
    EnvironmentBlock block;
    block.set("HOME", home.string());
    block.set("LANG", "C.UTF-8");
    block.set("PATH", "/usr/bin:/bin");
    block.set("METERWRIGHT_LISTEN_ADDRESS", "127.0.0.1");
    // No system bus: the name comes from the machine and no DNS-SD is tried.
    block.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (folder.path() / "no-bus").string());
    return block;
  }

  FileLocations locations() const {
    return FileLocations::fromEnvironment(
        [&](const char* name) { return environment().get(name); });
  }

  // A reading of Claude's five-hour window at 42 %, as a phone should receive it.
  void storeReading() const {
    const Date now = std::chrono::system_clock::now();
    ProviderSnapshot claude{"claude", "Claude", "max", "live", now, {{300, 42, {}, {}}}};
    SnapshotStore::save(Snapshot{now, {claude}, "composite", "direct"}, locations());
  }

  // The Python phone typing `code` at the publisher on `port`; what it reports, as JSON.
  nlohmann::json phonePairs(const std::string& python, const std::string& port,
                            const std::string& code) {
    auto device = runCollectingOutput(
        python,
        {METERWRIGHT_PAIR_DEVICE_SCRIPT, "--port", port, "--code", code, "--name", "Lab Phone"}, {},
        30, 1, 1 << 20);
    if (!device) return nullptr;
    EXPECT_EQ(device->exitStatus, 0) << device->standardOutput;
    nlohmann::json result = nlohmann::json::parse(device->standardOutput, nullptr, false);
    EXPECT_TRUE(result.is_object()) << device->standardOutput;
    return result;
  }

  // Reads the child's output until `pattern` matches it or the deadline passes.
  std::smatch readUntil(ChildProcess& child, const std::regex& pattern, double seconds) {
    std::smatch match;
    child.readOutput(ChildProcess::deadlineAfter(seconds), [&](std::string_view chunk) {
      output += chunk;
      return !std::regex_search(output, match, pattern);
    });
    std::regex_search(output, match, pattern);
    return match;
  }

  // `pairing` ends saying the stand-in phone is paired, with status 0, and `--devices` then
  // lists the phone.
  void expectPairedAndListed(ChildProcess& pairing) {
    readUntil(pairing, std::regex("is paired\\.\n"), 30);
    ASSERT_TRUE(pairing.waitForExit(30));
    EXPECT_EQ(pairing.exitStatus(), 0) << output;
    EXPECT_THAT(output, ::testing::EndsWith("Lab Phone is paired.\n"));
    auto listed =
        runCollectingOutput(METERWRIGHT_EXECUTABLE, {"--devices"}, environment(), 30, 1, 65536);
    ASSERT_TRUE(listed);
    EXPECT_THAT(listed->standardOutput, ::testing::HasSubstr("Lab Phone"));
  }

  testing::TemporaryFolder folder;
  fs::path home = folder.path() / "home";
  std::string output;
};

TEST_F(PairJobTest, ADevicePairsByThePrintedCodeAndOpensTheStoredReading) {
  std::string why;
  std::optional<std::string> python = pythonWithCryptography(why);
  if (!python) GTEST_SKIP() << why;
  storeReading();

  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.arguments = {"--pair"};
  launch.environment = environment();
  launch.output = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> pairing = ChildProcess::start(launch);
  ASSERT_TRUE(pairing);

  std::smatch printed = readUntil(
      *pairing, std::regex("Pairing code: (\\w{5}-\\w{5})\nLink: (\\S+)\nPort: (\\d+)\n"), 30);
  ASSERT_FALSE(printed.empty()) << output;
  const std::string code = printed[1], link = printed[2], port = printed[3];
  EXPECT_EQ(link, "meterwright://pair/" + code);
  EXPECT_THAT(output, ::testing::HasSubstr("Addresses: 127.0.0.1:" + port + "\n"));

  nlohmann::json result = phonePairs(*python, port, code);
  ASSERT_TRUE(result.is_object());
  EXPECT_EQ(result.value("paired", false), true);
  const nlohmann::json& payload = result["payload"];
  ASSERT_TRUE(payload.is_object()) << result.dump();
  EXPECT_EQ(payload["version"], 2);
  EXPECT_EQ(payload["sourceName"], result["macName"]);
  EXPECT_EQ(payload["snapshot"]["providers"][0]["windows"][0]["usedPercent"], 42);

  // The pairing outlives the run: the store lists it.
  expectPairedAndListed(*pairing);
}

TEST_F(PairJobTest, ASecondPublisherIsToldToPairFromTheFirst) {
  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.arguments = {"--pair"};
  launch.environment = environment();
  launch.output = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> first = ChildProcess::start(launch);
  ASSERT_TRUE(first);
  ASSERT_FALSE(readUntil(*first, std::regex("Port: \\d+\n"), 30).empty()) << output;

  launch.error = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> second = ChildProcess::start(launch);
  ASSERT_TRUE(second);
  ASSERT_TRUE(second->waitForExit(30));
  EXPECT_EQ(second->exitStatus(), 1);
  std::string said(4096, '\0');
  said.resize(std::max<ssize_t>(0, ::read(second->errorFd(), said.data(), said.size())));
  EXPECT_EQ(said, "meterwright: another Meterwright process is publishing; pair from it\n");

  // Ctrl-C ends the first with status 1.
  ::kill(first->pid(), SIGINT);
  ASSERT_TRUE(first->waitForExit(30));
  EXPECT_EQ(first->exitStatus(), 1);
}

TEST_F(PairJobTest, EnterMakesANewCode) {
  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.arguments = {"--pair"};
  launch.environment = environment();
  launch.input = ChildProcess::Stream::pipe;
  launch.output = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> pairing = ChildProcess::start(launch);
  ASSERT_TRUE(pairing);
  const std::regex code("Pairing code: (\\w{5}-\\w{5})\n[^]*Port: \\d+\n");
  std::smatch first = readUntil(*pairing, code, 30);
  ASSERT_FALSE(first.empty()) << output;
  const std::string firstCode = first[1];

  output.clear();
  ASSERT_TRUE(pairing->writeInput("\n"));
  std::smatch second = readUntil(*pairing, code, 30);
  ASSERT_FALSE(second.empty()) << output;
  EXPECT_NE(second[1], firstCode);

  pairing->closeInput();
  ::kill(pairing->pid(), SIGINT);
  ASSERT_TRUE(pairing->waitForExit(30));
  EXPECT_EQ(pairing->exitStatus(), 1);
}

// The application on a machine without a desktop: no session bus, so no tray. It says so, takes
// the control socket, pairs a phone through `--pair`, publishes the reading to it, answers a
// second start, and ends with status 0 on SIGTERM.
TEST_F(PairJobTest, TheApplicationWithoutADesktopPairsAPhoneAndEndsOnSigterm) {
  std::string why;
  std::optional<std::string> python = pythonWithCryptography(why);
  if (!python) GTEST_SKIP() << why;
  storeReading();
  // Codex answers, so the service has a reading of its own to store and publish.
  testing::FakePrograms::install(folder, "codex");

  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.environment = environment();
  launch.error = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> application = ChildProcess::start(launch);
  ASSERT_TRUE(application);
  const fs::path socket = ControlClient::socketPath(locations());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(socket) && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(application->isRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(fs::exists(socket));
  // The shared reading that status lines use: Claude's stored window kept, Codex's added.
  auto storedCodex = [&] {
    auto stored = SnapshotStore::load(3600, std::chrono::system_clock::now(), locations());
    return stored && stored->provider("codex") && stored->provider("claude");
  };
  ASSERT_TRUE(testing::ProcessChecks::eventually(storedCodex, 30))
      << "the service stored no Codex reading";

  launch.arguments = {"--pair"};
  launch.error = ChildProcess::Stream::nullDevice;
  launch.output = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> pairing = ChildProcess::start(launch);
  ASSERT_TRUE(pairing);
  std::smatch printed =
      readUntil(*pairing, std::regex("Pairing code: (\\w{5}-\\w{5})\n[^]*Port: (\\d+)\n"), 30);
  ASSERT_FALSE(printed.empty()) << output;
  const std::string code = printed[1], port = printed[2];
  nlohmann::json result = phonePairs(*python, port, code);
  ASSERT_TRUE(result.is_object());
  // The phone gets the service's own reading, sealed for it.
  std::map<std::string, double> firstWindows;
  for (const auto& provider : result["payload"]["snapshot"]["providers"]) {
    firstWindows[provider.value("id", "")] = provider["windows"][0].value("usedPercent", -1.0);
  }
  EXPECT_EQ(firstWindows, (std::map<std::string, double>{{"claude", 42}, {"codex", 12.5}}));
  // The application's store holds the phone; --devices asks the application.
  expectPairedAndListed(*pairing);

  launch.arguments = {};
  std::optional<ChildProcess> second = ChildProcess::start(launch);
  ASSERT_TRUE(second);
  ASSERT_TRUE(second->waitForExit(30));
  EXPECT_EQ(second->exitStatus(), 0);
  std::string secondSaid(4096, '\0');
  secondSaid.resize(
      std::max<ssize_t>(0, ::read(second->outputFd(), secondSaid.data(), secondSaid.size())));
  EXPECT_THAT(secondSaid, ::testing::HasSubstr("already running without a tray (process " +
                                               std::to_string(application->pid()) + ")"));

  ::kill(application->pid(), SIGTERM);
  ASSERT_TRUE(application->waitForExit(30));
  EXPECT_EQ(application->exitStatus(), 0);
  std::string said(4096, '\0');
  said.resize(std::max<ssize_t>(0, ::read(application->errorFd(), said.data(), said.size())));
  EXPECT_THAT(said, ::testing::HasSubstr("no tray host"));
}

}  // namespace
}  // namespace meterwright
