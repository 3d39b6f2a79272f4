#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "cli/JobRunner.h"
#include "cli/SecondInstance.h"
#include "core/crypto/SymmetricKey.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "platform/control/ControlClient.h"
#include "platform/control/ControlServer.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/process/ChildProcess.h"
#include "platform/secrets/FileSecretStore.h"
#include "platform/session/HostName.h"
#include "support/FakeBusObject.h"
#include "support/FakeLogind.h"
#include "support/FakeNotificationServer.h"
#include "support/FakePrograms.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/LoopbackHttpServer.h"
#include "support/PrivateBus.h"
#include "support/ProcessChecks.h"
#include "support/RunningInstance.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::FakePrograms::binFolder;
namespace fs = std::filesystem;

const char* const usageAnswer =
    R"({"five_hour": {"utilization": 42, "resets_at": "2024-01-01T10:00:00.000Z"},
        "seven_day": {"utilization": 87.5, "resets_at": null}})";
const char* const codexAnswer =
    R"({"rateLimits": {"limitId": "codex", "planType": "plus",
        "primary": {"usedPercent": 12.5, "windowDurationMins": 300},
        "secondary": {"usedPercent": 40, "windowDurationMins": 10080, "resetsAt": 1700000000}}})";
// Expires 2100-01-01: no renewal is attempted by a reading.
const char* const credentials =
    R"({"claudeAiOauth": {"accessToken": "secret-access-token", "expiresAt": 4102444800000,)"
    R"( "refreshToken": "secret-refresh", "subscriptionType": "max"}})";

const char* const variables[] = {
    "DBUS_SESSION_BUS_ADDRESS",
    "DBUS_SYSTEM_BUS_ADDRESS",
    "XDG_RUNTIME_DIR",
    "PATH",
    "LANG",
    "LANGUAGE",
    "LC_ALL",
    "LC_MESSAGES",
    "METERWRIGHT_CLAUDE_USAGE_URL",
    "METERWRIGHT_CLOUD_CONTAINER",
    "METERWRIGHT_LISTEN_ADDRESS",
    "CLAUDE_CONFIG_DIR",
};

// The world the diagnostics look at, built for each test: a private bus standing in for both
// the session and the system bus, the fake `codex`, `claude` and `systemctl`, Claude Code's
// sign-in, the usage endpoint on loopback, a cloud folder and one paired device. The jobs run in
// this process and read its environment, so each test sets it and puts back what was there.
class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : variables) {
      if (const char* value = std::getenv(name)) saved[name] = value;
      unsetenv(name);
    }
    testing::FakePrograms::install(folder, "codex");
    testing::writeFile(binFolder(folder) / "codex.answer", codexAnswer);
    testing::FakePrograms::installRecorder(folder, "systemctl");
    testing::writeFile(home / ".claude" / ".credentials.json", credentials);
    usage.respondWith(testing::LoopbackHttpServer::answer(200, usageAnswer));
    fs::create_directories(container);
    // The folder above the container is one Syncthing shares.
    fs::create_directories(folder.path() / "Sync" / ".stfolder");
    setenv("PATH", binFolder(folder).c_str(), 1);
    setenv("LANG", "en_GB.UTF-8", 1);
    setenv("METERWRIGHT_CLAUDE_USAGE_URL", usage.url().c_str(), 1);
    setenv("METERWRIGHT_CLOUD_CONTAINER", container.c_str(), 1);
    setenv("METERWRIGHT_LISTEN_ADDRESS", "127.0.0.1", 1);
    setenv("CLAUDE_CONFIG_DIR", (home / ".claude").c_str(), 1);
    // No system bus unless a test brings one: the machine's own must not answer.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder.path() / "none").string()).c_str(),
           1);
  }
  void TearDown() override {
    for (const char* name : variables) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
  }

  void pairOneDevice() {
    PairedDeviceStore store(
        std::make_shared<FileSecretStore>(locations.supportFolder() / "keychain",
                                          std::make_shared<SystemClock>()),
        "dev.velmora.meterwright.pairings");
    store.save({{*Uuid::parse("1B4E28BA-2FA1-41D2-883F-0016D3CCA427"),
                 "Ada\u2019s iPhone",
                 "iOS",
                 dateFromUnixSeconds(1'740'821'400),
                 {}},
                SymmetricKey::random()});
  }

  // The session bus with a tray watcher (and host), a notification server and logind on it.
  bool startDesktop(bool watcher = true) {
    if (!bus.problem().empty()) return false;
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    if (watcher) trayWatcher.emplace(bus.address());
    notifications.emplace(bus.address(), std::vector<std::string>{"body"});
    logind.emplace(bus.address());
    return (!watcher || trayWatcher->ready()) && notifications->ready() && logind->ready();
  }

  struct Outcome {
    int status;
    std::string out;
  };
  Outcome run(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    int status = JobRunner::run(arguments, locations, out, err);
    return {status, out.str()};
  }

  // The output with what changes from run to run written as placeholders.
  std::string masked(std::string text) const {
    const std::pair<std::string, std::string> rules[] = {
        {std::regex_replace(folder.path().string(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"),
         "<tmp>"},
        {"next request in [^\n]*", "next request in <wait>"},
        {"this computer: " + HostName::deviceName({EnvironmentBlock::ofProcess()}),
         "this computer: <name>"},
        {"(claude|codex) [0-9]+KB", "$1 <n>KB"},
        {"in [0-9]+\\.[0-9]s", "in <t>s"},
    };
    for (const auto& [pattern, replacement] : rules)
      text = std::regex_replace(text, std::regex(pattern), replacement);
    return text;
  }

  // Compares `text` with tests/cli/golden/<name>.txt; METERWRIGHT_UPDATE_GOLDEN=1 rewrites the
  // file instead, for a change of wording to be reviewed in the diff.
  static void expectGolden(const std::string& name, const std::string& text) {
    fs::path file = fs::path(METERWRIGHT_GOLDEN_FOLDER) / (name + ".txt");
    if (std::getenv("METERWRIGHT_UPDATE_GOLDEN")) testing::writeFile(file, text);
    EXPECT_EQ(text, testing::readFile(file));
  }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  fs::path home = locations.home;
  fs::path container = folder.path() / "Sync" / "meterwright-cloud";
  testing::LoopbackHttpServer usage;
  testing::PrivateBus bus{folder.path() / "bus"};
  std::optional<testing::FakeStatusNotifierWatcher> trayWatcher;
  std::optional<testing::FakeNotificationServer> notifications;
  std::optional<testing::FakeLogind> logind;
  std::map<std::string, std::string> saved;
};

struct Scenario {
  const char* golden;
  bool desktop;
  bool container;
  bool providerFails;
  bool instance;
  int status;
};

class DiagnoseReport : public DiagnosticsTest, public ::testing::WithParamInterface<Scenario> {};

// The report for each world, against its golden text. Only the tray section decides the status.
TEST_P(DiagnoseReport, MatchesItsGoldenText) {
  const Scenario& scenario = GetParam();
  pairOneDevice();
  if (scenario.desktop && !startDesktop()) GTEST_SKIP() << bus.problem();
  if (!scenario.container) fs::remove_all(container);
  if (scenario.providerFails) {
    usage.respondWith(testing::LoopbackHttpServer::answer(500, "{}"));
    testing::FakePrograms::setMode(folder, "codex", "error");
  }
  std::optional<testing::RunningInstance> instance;
  if (scenario.instance) {
    instance.emplace(ControlClient::socketPath(locations), [](ControlServer& server) {
      server.onDiagnose = [] {
        return ControlDiagnosis{false,
                                true,
                                true,
                                {},
                                "Ada\u2019s desk",
                                3,
                                {{"Local network", true, {}}, {"iCloud", false, "Not started"}},
                                {}};
      };
    });
    ASSERT_TRUE(instance->listening());
  }
  Outcome outcome = run({"--diagnose"});
  expectGolden(scenario.golden, masked(outcome.out));
  EXPECT_EQ(outcome.status, scenario.status);
}

INSTANTIATE_TEST_SUITE_P(
    Worlds, DiagnoseReport,
    ::testing::Values(Scenario{"diagnose_healthy", true, true, false, false, 0},
                      Scenario{"diagnose_no_session_bus", false, true, false, false, 1},
                      Scenario{"diagnose_no_container", true, false, false, false, 0},
                      Scenario{"diagnose_provider_failing", true, true, true, false, 0},
                      Scenario{"diagnose_running_instance", true, true, false, true, 1}),
    [](const auto& info) { return std::string(info.param.golden); });

// Children of this process, by pid.
std::set<pid_t> children() {
  std::set<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == ::getpid()) found.insert(std::stoi(entry.path().filename().string()));
  }
  return found;
}

TEST_F(DiagnosticsTest, DiagnoseLeavesNoChildAndNoDescriptorBehind) {
  pairOneDevice();
  if (!startDesktop()) GTEST_SKIP() << bus.problem();
  std::set<pid_t> before = children();
  int descriptors = testing::ProcessChecks::openDescriptorCount();
  EXPECT_EQ(run({"--diagnose"}).status, 0);
  EXPECT_EQ(children(), before);
  // The bus connections close on the main context, a moment after the report.
  EXPECT_TRUE(MainLoopWait::until(
      [&] { return testing::ProcessChecks::openDescriptorCount() == descriptors; }, 5))
      << testing::ProcessChecks::openDescriptorCount() << " open, " << descriptors << " before";
}

// A tray watcher that answers whether a host is registered with a text.
struct GarbledWatcher {
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  void handle(const char*, GVariant*, GDBusMethodInvocation* invocation) {
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
  GVariant* property(const char*) { return g_variant_new_string("\x1b[2Jperhaps"); }
  ~GarbledWatcher() {
    if (connection) g_dbus_connection_close_sync(connection, nullptr, nullptr);
    if (connection) g_object_unref(connection);
  }
};

// A control socket peer that answers every connection with bytes that are no answer.
class GarbledInstance {
 public:
  explicit GarbledInstance(const fs::path& socket) {
    fs::create_directories(socket.parent_path());
    fs::permissions(socket.parent_path(), fs::perms::owner_all);
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    thread_ = std::thread([fd = listener_] {
      for (;;) {
        int peer = ::accept(fd, nullptr, nullptr);
        if (peer < 0) return;
        const char junk[] = "\x1b]0;owned\x07{\"version\":1,\"ok\":tru\n";
        [[maybe_unused]] ssize_t sent = ::write(peer, junk, sizeof junk - 1);
        ::close(peer);
      }
    });
  }
  ~GarbledInstance() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }

 private:
  int listener_ = -1;
  std::thread thread_;
};

TEST_F(DiagnosticsTest, GarbledAnswersBecomeFailingLinesWithoutATokenOrAnEscape) {
  if (!startDesktop(/*watcher=*/false)) GTEST_SKIP() << bus.problem();
  GarbledWatcher watcher;
  ASSERT_TRUE(testing::exportFakeObject(
      bus.address(),
      "<node><interface name='org.kde.StatusNotifierWatcher'>"
      "<property name='IsStatusNotifierHostRegistered' type='s' access='read'/>"
      "</interface></node>",
      "/StatusNotifierWatcher", &watcher, "org.kde.StatusNotifierWatcher"));
  GarbledInstance instance(ControlClient::socketPath(locations));
  usage.respondWith(testing::LoopbackHttpServer::answer(200, "\x1b]0;owned\x07 not json"));
  testing::writeFile(binFolder(folder) / "systemctl.say", "\x1b[31m2099\x1b[0m\n");
  // A file where the cloud folder should be.
  fs::remove_all(container);
  testing::writeFile(container, "\x1b[2J{\"not\": \"a folder\"");

  Outcome outcome = run({"--diagnose"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_THAT(outcome.out,
              ::testing::HasSubstr("  \u2717  tray host \u2014 the watcher answered with something "
                                   "that is not a reply\n"));
  EXPECT_THAT(outcome.out, ::testing::HasSubstr("  \u2717  the running Meterwright's item \u2014 "
                                                "the running Meterwright gave no answer that "
                                                "could be read within 4s\n"));
  EXPECT_THAT(outcome.out, ::testing::HasSubstr("  \u2717  Claude Code"));
  EXPECT_THAT(outcome.out, ::testing::HasSubstr("  \u2717  no scheduled wake"));
  EXPECT_EQ(outcome.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(outcome.out.find("secret-"), std::string::npos);

  Outcome cloud = run({"--icloud-selftest"});
  EXPECT_EQ(cloud.status, 1);
  EXPECT_THAT(cloud.out, ::testing::StartsWith("\u2717 the cloud folder "));
}

TEST_F(DiagnosticsTest, WakeSelfTestWithoutPairedDevicesSaysNothingWasSent) {
  if (!startDesktop()) GTEST_SKIP() << bus.problem();
  Outcome outcome = run({"--wake-selftest"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(masked(outcome.out),
              ::testing::StartsWith(
                  "\u2713 power assertion \u2014 the computer cannot return to sleep while a "
                  "reading is going out\n"
                  "\u2713 read claude, codex in <t>s, published in <t>s\n"
                  "  0 paired device(s) \u2014 nothing was sealed or sent, so the time above is "
                  "the read alone\n"));
  // The inhibitor goes with the run.
  EXPECT_TRUE(MainLoopWait::until([&] { return !logind->inhibitorHeld(0); }, 20));
}

TEST_F(DiagnosticsTest, WakeSelfTestGoesThroughTheRunningInstance) {
  if (!startDesktop()) GTEST_SKIP() << bus.problem();
  testing::RunningInstance instance(
      ControlClient::socketPath(locations), [](ControlServer& server) {
        server.onWake = [](ControlServer::EventSender later) {
          // The event leaves from the instance's main loop, after the answer.
          GSource* idle = g_idle_source_new();
          g_source_set_callback(
              idle,
              [](gpointer data) {
                (*static_cast<ControlServer::EventSender*>(data))(ControlEvent{
                    ControlEventKind::woke, "", {{"claude", "codex"}, 1.3, 1.5, true, 2}});
                return G_SOURCE_REMOVE;
              },
              new ControlServer::EventSender(std::move(later)),
              [](gpointer data) { delete static_cast<ControlServer::EventSender*>(data); });
          g_source_attach(idle, g_main_context_get_thread_default());
          g_source_unref(idle);
          return ControlAnswer{};
        };
      });
  ASSERT_TRUE(instance.listening());
  Outcome outcome = run({"--wake-selftest"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(outcome.out, ::testing::HasSubstr("\n\u2713 read claude, codex in 1.3s, published in "
                                                "1.5s\n  2 paired device(s)\n"));
}

// End to end: the real application, with its tray item shown, answers both jobs itself.
TEST_F(DiagnosticsTest, TheRunningApplicationReportsItselfAndTakesTheWakeReading) {
  pairOneDevice();
  if (!startDesktop()) GTEST_SKIP() << bus.problem();
  ChildProcess::Launch launch;
  launch.executable = METERWRIGHT_EXECUTABLE;
  launch.environment = EnvironmentBlock::ofProcess();
  launch.environment.set("HOME", home.string());
  launch.environment.set("XDG_DATA_HOME", (home / ".local/share").string());
  launch.environment.set("XDG_STATE_HOME", (home / ".local/state").string());
  launch.environment.set("XDG_CONFIG_HOME", (home / ".config").string());
  launch.environment.set("TMPDIR", locations.temporary.string());
  launch.error = ChildProcess::Stream::pipe;
  std::optional<ChildProcess> application = ChildProcess::start(launch);
  ASSERT_TRUE(application);
  ASSERT_TRUE(MainLoopWait::until(
      [&] { return !trayWatcher->registrations().empty() || !application->isRunning(); }, 30));
  // The item counts as shown once the watcher's replies (served by this thread) have reached it.
  ASSERT_TRUE(MainLoopWait::until(
      [&] {
        SecondInstance::Reply reply =
            SecondInstance::ask(locations, {ControlRequestKind::status, {}});
        return reply.answer && reply.answer->headless == false;
      },
      30));

  Outcome diagnosis = run({"--diagnose"});
  EXPECT_EQ(diagnosis.status, 0) << diagnosis.out;
  EXPECT_THAT(diagnosis.out,
              ::testing::HasSubstr("  \u2713  the running Meterwright's item is shown by a tray "
                                   "host\n"));
  EXPECT_THAT(diagnosis.out,
              ::testing::HasSubstr("  \u2022  as the running Meterwright reports it\n"
                                   "  \u2713  local network listener\n"));
  EXPECT_THAT(diagnosis.out, ::testing::HasSubstr("  paired devices: 1\n"));

  Outcome wake = run({"--wake-selftest"});
  EXPECT_EQ(wake.status, 0) << wake.out;
  EXPECT_THAT(masked(wake.out),
              ::testing::HasSubstr("\u2713 read claude, codex in <t>s, published in <t>s\n"
                                   "  1 paired device(s)\n"));

  ::kill(application->pid(), SIGTERM);
  ASSERT_TRUE(MainLoopWait::until([&] { return !application->isRunning(); }, 30));
  EXPECT_EQ(application->exitStatus(), 0);
}

TEST_F(DiagnosticsTest, WakeSelfTestWithoutAReadingListsEachFailureAndTheAdvice) {
  if (!startDesktop()) GTEST_SKIP() << bus.problem();
  usage.respondWith(testing::LoopbackHttpServer::answer(500, "{}"));
  testing::FakePrograms::setMode(folder, "codex", "error");
  Outcome outcome = run({"--wake-selftest"});
  EXPECT_EQ(outcome.status, 1);
  expectGolden("wake_no_reading", masked(outcome.out));
}

TEST_F(DiagnosticsTest, RenewClaudeWithoutACredentialGivesNoVerdict) {
  fs::remove(home / ".claude" / ".credentials.json");
  Outcome outcome = run({"--renew-claude"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "before: no readable credential\n"
            "asking Claude Code to renew its own sign-in\u2026\n"
            "outcome: noExecutable\n"
            "after:  no readable credential\n");
}

TEST_F(DiagnosticsTest, RenewClaudeSaysHowFarTheStoredExpiryMoved) {
  testing::FakePrograms::install(folder, "claude");
  testing::FakePrograms::setMode(folder, "claude", "renews");
  Outcome outcome = run({"--renew-claude"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "before: token valid until 2100-01-01 00:00:00 +0000\n"
            "asking Claude Code to renew its own sign-in\u2026\n"
            "outcome: renewed\n"
            "after:  token valid until 2100-01-01 08:00:00 +0000\n"
            "\u2713 the stored expiry moved forward by 8h\n");
  EXPECT_EQ(outcome.out.find("secret-"), std::string::npos);
}

TEST_F(DiagnosticsTest, CloudSelfTestRoundTripsThroughTheFolderOrSaysHowToMakeIt) {
  Outcome done = run({"--icloud-selftest"});
  EXPECT_EQ(done.status, 0);
  EXPECT_EQ(
      masked(done.out),
      "\u2713 iCloud.dev.velmora.meterwright \u00b7 <tmp>/Sync/meterwright-cloud \u2014 wrote "
      "a Envelope, read it back, and removed it\n"
      "  Your other devices can receive readings through the cloud folder.\n");

  fs::remove_all(container);
  Outcome missing = run({"--icloud-selftest"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(masked(missing.out),
            "\u2717 the cloud folder <tmp>/Sync/meterwright-cloud does not exist, so this computer "
            "has no cloud route \u2014 create it (mkdir -p <tmp>/Sync/meterwright-cloud), or set "
            "METERWRIGHT_CLOUD_CONTAINER to a folder your sync tool replicates\n");
}

}  // namespace
}  // namespace meterwright
