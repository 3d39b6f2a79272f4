#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/dnssd/AvahiServiceAdvertiser.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/ExecutableSearch.h"
#include "support/PrivateBus.h"
#include "support/ProcessChecks.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using namespace std::chrono_literals;
using testing::TemporaryFolder;
using testing::ProcessChecks::eventually;
using testing::ProcessChecks::secondsTaken;

const std::string serviceType = "_meterwright._tcp";
const std::string macName = "5E4B1C7A-0F3D-4C52-9D6B-2A8E71F04C19";

std::optional<std::string> find(const std::string& program) {
  return ExecutableSearch::find({}, program, EnvironmentBlock::ofProcess());
}

// `program` from PATH with this process's environment (and so its DBUS_SYSTEM_BUS_ADDRESS).
ChildProcess::Launch launchOf(const std::string& program, std::vector<std::string> arguments,
                              ChildProcess::Stream output = ChildProcess::Stream::nullDevice) {
  ChildProcess::Launch launch;
  launch.executable = find(program).value_or(program);
  launch.arguments = std::move(arguments);
  launch.environment = EnvironmentBlock::ofProcess();
  launch.output = output;
  return launch;
}

// A daemon this test started; stopped and reaped when dropped.
struct Daemon {
  std::optional<ChildProcess> process;
  ~Daemon() {
    if (process) process->terminate(5);
  }
};

// Where the namespaces avahi-daemon runs in are made, as the daemon's launch makes them.
const std::string namespaces = "unshare --net --mount --propagation private";

// Everything a command printed on either stream, once it has ended (within 10 s), and whether it
// succeeded.
std::pair<bool, std::string> runShell(const std::string& command) {
  auto child = ChildProcess::start(
      launchOf("/bin/sh", {"-c", "exec 2>&1; " + command}, ChildProcess::Stream::pipe));
  if (!child) return {false, "/bin/sh could not be started"};
  std::string output;
  child->readOutput(ChildProcess::deadlineAfter(10), [&](std::string_view chunk) {
    output += chunk;
    return true;
  });
  bool succeeded = child->waitForExit(5) && child->exitStatus() == 0;
  return {succeeded, output};
}

// Why this machine cannot give avahi-daemon namespaces of its own (no CAP_SYS_ADMIN, as in a
// default container, or a root that is not a mount point, as in a chroot); nothing when it can.
std::optional<std::string> namespaceProblem() {
  auto [succeeded, output] =
      runShell(namespaces + " /bin/sh -c 'ip link set lo up && mount -t tmpfs tmpfs /run'");
  if (succeeded) return std::nullopt;
  return "cannot make namespaces for avahi-daemon here: " + output;
}

// avahi-daemon in network and mount namespaces of its own: it sees only a loopback interface, so
// nothing it sends leaves this machine, and its pid file cannot clash with a system daemon's. What
// it (and unshare) print goes to `log`.
void startAvahiDaemon(Daemon& avahi, const std::filesystem::path& folder,
                      const std::filesystem::path& log) {
  testing::writeFile(folder / "avahi-daemon.conf",
                     "[server]\nuse-ipv4=yes\nuse-ipv6=no\nenable-dbus=yes\n"
                     "[wide-area]\nenable-wide-area=no\n"
                     "[publish]\npublish-hinfo=no\npublish-workstation=no\n");
  std::string daemon =
      "ip link set lo up && mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon && exec " +
      *find("avahi-daemon") + " --no-drop-root --no-chroot --no-rlimits --no-proc-title -f " +
      (folder / "avahi-daemon.conf").string();
  avahi.process = ChildProcess::start(
      launchOf("/bin/sh", {"-c", "exec >>'" + log.string() + "' 2>&1; exec " + namespaces +
                                     " /bin/sh -c '" + daemon + "'"}));
  ASSERT_TRUE(avahi.process);
}

// The announced services of our type as "name:port", as a device on the network resolves them, the
// name as avahi-browse -p writes it (punctuation and spaces as \DDD); nothing when it failed.
std::optional<std::set<std::string>> browse() {
  auto launch = launchOf("avahi-browse",
                         {"--parsable", "--resolve", "--terminate", "--no-db-lookup", serviceType},
                         ChildProcess::Stream::pipe);
  auto browser = ChildProcess::start(launch);
  if (!browser) return std::nullopt;
  std::string output;
  auto end = browser->readOutput(ChildProcess::deadlineAfter(10), [&](std::string_view chunk) {
    output += chunk;
    return true;
  });
  if (end != ChildProcess::OutputEnd::endOfStream || !browser->waitForExit(5) ||
      browser->exitStatus() != 0)
    return std::nullopt;
  std::set<std::string> found;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ';');) fields.push_back(field);
    if (fields.size() >= 9 && fields[0] == "=") found.insert(fields[3] + ":" + fields[8]);
  }
  return found;
}

// Whether a successful browse finds `service` (or, with `shown` false, does not find it).
bool browseShows(const std::string& service, bool shown = true) {
  auto found = browse();
  return found && found->contains(service) == shown;
}

class AvahiServiceAdvertiserTest : public ::testing::Test {
 protected:
  // libdbus reads DBUS_SYSTEM_BUS_ADDRESS once per process, so every test here, repeated or not,
  // points it at the same place in one folder that lives as long as the process: nothing listens
  // there unless a test starts a bus.
  static const std::filesystem::path& folder() {
    static const TemporaryFolder shared;
    return shared.path();
  }

  void SetUp() override {
    if (const char* earlier = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) savedAddress = earlier;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket()).c_str(), 1);
  }
  void TearDown() override {
    if (savedAddress) {
      setenv("DBUS_SYSTEM_BUS_ADDRESS", savedAddress->c_str(), 1);
    } else {
      unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
  }

  // Where the test's own system bus listens when one runs (testing::PrivateBus's socket).
  static std::filesystem::path busFolder() { return folder() / "system-bus"; }
  static std::string socket() { return (busFolder() / "bus").string(); }

  std::optional<std::string> savedAddress;
};

TEST_F(AvahiServiceAdvertiserTest, WithoutASystemBusNothingWaitsAndTheReasonLastsUntilWithdrawn) {
  const std::optional<std::string> unreachable =
      "cannot reach avahi-daemon over the system bus: Daemon not running";
  auto advertiser = std::make_unique<AvahiServiceAdvertiser>(50ms);
  EXPECT_EQ(advertiser->problem(), std::nullopt);

  for (int round = 0; round < 2; ++round) {
    EXPECT_LT(secondsTaken([&] { advertiser->advertise(serviceType, macName, 4242); }), 0.5);
    EXPECT_TRUE(eventually([&] { return advertiser->problem() == unreachable; }))
        << advertiser->problem().value_or("(nothing)");
    advertiser->withdraw();
    EXPECT_EQ(advertiser->problem(), std::nullopt);
  }

  advertiser->advertise(serviceType, macName, 4242);
  EXPECT_LT(secondsTaken([&] { advertiser.reset(); }), 2.0);
}

// Follows one announcement through a system bus that comes late, a daemon that comes late and
// restarts, a name that is already taken, and withdrawal.
TEST_F(AvahiServiceAdvertiserTest, AnnouncesThroughARealDaemonAndFollowsItAsItComesAndGoes) {
  for (const char* tool : {"dbus-daemon", "avahi-daemon", "avahi-browse", "unshare", "ip"}) {
    if (!find(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
  }
  if (::geteuid() != 0) GTEST_SKIP() << "namespaces for avahi-daemon need root";
  if (auto problem = namespaceProblem()) GTEST_SKIP() << *problem;

  const std::string announced = macName + ":4242";
  const std::string renamedTwin = macName + "\\032\\0352:4243";  // " #2" as avahi-browse writes it
  const auto log = folder() / "avahi-daemon.log";
  auto daemonOutput = [&] { return "avahi-daemon said:\n" + testing::readFile(log); };
  AvahiServiceAdvertiser advertiser(50ms);
  advertiser.advertise(serviceType, macName, 4242);
  ASSERT_TRUE(eventually([&] { return advertiser.problem().has_value(); }));

  testing::PrivateBus bus(busFolder());
  ASSERT_EQ(bus.problem(), "");
  EXPECT_TRUE(eventually([&] { return advertiser.problem() == "avahi-daemon is not running"; }))
      << advertiser.problem().value_or("(nothing)");

  {
    Daemon avahi;
    ASSERT_NO_FATAL_FAILURE(startAvahiDaemon(avahi, folder(), log));
    ASSERT_TRUE(eventually([&] { return browse() || !avahi.process->isRunning(); }))
        << daemonOutput();
    if (!avahi.process->isRunning())
      GTEST_SKIP() << "avahi-daemon does not start here; " << daemonOutput();
    ASSERT_TRUE(eventually([&] { return browseShows(announced); })) << daemonOutput();
    EXPECT_EQ(advertiser.problem(), std::nullopt);

    {
      AvahiServiceAdvertiser twin(50ms);
      twin.advertise(serviceType, macName, 4243);
      EXPECT_TRUE(eventually([&] { return browseShows(renamedTwin); }));
      EXPECT_EQ(twin.problem(),
                "another service on the local network is already called \"" + macName +
                    "\" (another Meterwright with the same identity?); announced as \"" + macName +
                    " #2\" instead");
    }
    EXPECT_TRUE(eventually([&] { return browseShows(renamedTwin, false); }));
    EXPECT_EQ(advertiser.problem(), std::nullopt);
  }
  EXPECT_TRUE(eventually([&] { return advertiser.problem() == "avahi-daemon is not running"; }))
      << advertiser.problem().value_or("(nothing)");

  Daemon restarted;
  ASSERT_NO_FATAL_FAILURE(startAvahiDaemon(restarted, folder(), log));
  EXPECT_TRUE(eventually([&] { return browseShows(announced); })) << daemonOutput();
  EXPECT_EQ(advertiser.problem(), std::nullopt);

  advertiser.withdraw();
  EXPECT_EQ(advertiser.problem(), std::nullopt);
  EXPECT_TRUE(eventually([&] { return browseShows(announced, false); }));
}

}  // namespace
}  // namespace meterwright
