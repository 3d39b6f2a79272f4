#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/glib/MainLoopWait.h"
#include "platform/notifications/Notifier.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/ExecutableSearch.h"
#include "support/FakeNotificationServer.h"
#include "support/FakePrograms.h"
#include "support/PrivateBus.h"
#include "support/TemporaryFolder.h"
#include "support/VirtualDisplay.h"

namespace meterwright {
namespace {

using testing::FakeNotificationServer;
using testing::NotifyCall;
using Behaviour = FakeNotificationServer::Behaviour;
using Delivery = Notifier::Delivery;

class NotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment.set("PATH", testing::FakePrograms::binFolder(folder).string());
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    environment.set("XDG_RUNTIME_DIR", folder.path().string());
    testing::FakePrograms::installRecorder(folder, "notify-send");
  }

  // Starts the bus and points the notifier's environment at it; false (with a skip) without one.
  bool startBus() {
    bus.emplace(folder.path() / "bus");
    if (!bus->problem().empty()) return false;
    environment.set("DBUS_SESSION_BUS_ADDRESS", bus->address());
    return true;
  }

  std::unique_ptr<Notifier> makeNotifier(double deadline = 5) {
    return std::make_unique<Notifier>(Notifier::Options{environment, identity, deadline});
  }

  // Posts and waits until the notifier says where the post went.
  std::optional<Delivery> deliver(Notifier& notifier, const std::string& title,
                                  const std::string& body, bool sound = true) {
    std::optional<Delivery> delivery;
    notifier.post(title, body, sound, "id", [&](Delivery way) { delivery = way; });
    MainLoopWait::until([&] { return delivery.has_value(); }, 20);
    return delivery;
  }

  // What notify-send's run `index` was given after argv[0], once it has run.
  std::optional<std::vector<std::string>> notifySendRun(std::size_t index) {
    auto runs = [&] { return testing::FakePrograms::recordedRuns(folder, "notify-send"); };
    if (!MainLoopWait::until([&] { return runs().size() > index; }, 20)) return std::nullopt;
    return runs()[index];
  }

  Notifier::Authorization refreshed(Notifier& notifier) {
    bool done = false;
    notifier.refreshAuthorization([&] { done = true; });
    EXPECT_TRUE(MainLoopWait::until([&] { return done; }, 20));
    return notifier.authorization();
  }

  testing::TemporaryFolder folder;
  EnvironmentBlock environment = EnvironmentBlock::ofProcess();
  NotificationText::Identity identity{"Meterwright", "meterwright-icon", "dev.example.meterwright"};
  std::optional<testing::PrivateBus> bus;
};

#define START_BUS_OR_SKIP() \
  if (!startBus()) GTEST_SKIP() << bus->problem()

TEST_F(NotifierTest, EachPostIsANewNotificationWithTheAppsIdentityAndSoundHint) {
  START_BUS_OR_SKIP();
  FakeNotificationServer server(bus->address(), {"body", "sound"});
  ASSERT_TRUE(server.ready());
  auto notifier = makeNotifier();

  EXPECT_EQ(deliver(*notifier, "Claude is low", "5h: 12% left"), Delivery::server);
  EXPECT_EQ(deliver(*notifier, "Claude is low", "5h: 12% left"), Delivery::server);
  EXPECT_EQ(deliver(*notifier, "Quiet", "no sound", false), Delivery::server);

  NotifyCall loud{
      "Meterwright",
      0,
      "meterwright-icon",
      "Claude is low",
      "5h: 12% left",
      {},
      {{"desktop-entry", "'dev.example.meterwright'"}, {"sound-name", "'message-new-instant'"}},
      -1};
  NotifyCall quiet = loud;
  quiet.title = "Quiet";
  quiet.body = "no sound";
  quiet.hints = {{"desktop-entry", "'dev.example.meterwright'"}, {"suppress-sound", "true"}};
  EXPECT_EQ(server.calls(), (std::vector<NotifyCall>{loud, loud, quiet}));
  EXPECT_EQ(server.ids().size(), 3u);
  EXPECT_TRUE(testing::FakePrograms::recordedRuns(folder, "notify-send").empty());
}

TEST_F(NotifierTest, TextsArriveAsTypedOrCleanedAndBodiesAreEscapedOnlyForMarkupServers) {
  START_BUS_OR_SKIP();
  const std::string title = "\"Claude\" \\ <i>5h</i> & co";
  const std::string body = "ends in a backslash \\ and 'quotes' <b>&amp;</b>";
  struct Case {
    std::vector<std::string> capabilities;
    std::string shownBody;
  };
  const Case cases[] = {
      {{"body"}, body},
      {{"body", "body-markup"},
       "ends in a backslash \\ and &apos;quotes&apos; &lt;b&gt;&amp;amp;&lt;/b&gt;"},
  };
  for (const auto& test : cases) {
    FakeNotificationServer server(bus->address(), test.capabilities);
    ASSERT_TRUE(server.ready());
    auto notifier = makeNotifier();
    EXPECT_EQ(deliver(*notifier, title, body), Delivery::server);
    ASSERT_EQ(server.calls().size(), 1u);
    EXPECT_EQ(server.calls()[0].title, title);
    EXPECT_EQ(server.calls()[0].body, test.shownBody);
    // Broken bytes arrive as clean text.
    EXPECT_EQ(
        deliver(*notifier, std::string("bad\xff\0title", 10), std::string("\x01\0body\xc3", 7)),
        Delivery::server);
    ASSERT_EQ(server.calls().size(), 2u);
    EXPECT_EQ(server.calls()[1].title, "bad\uFFFDtitle");
    EXPECT_EQ(server.calls()[1].body, "body\uFFFD");
  }
}

TEST_F(NotifierTest, AuthorizationFollowsWhatTheBusAndServerSayAndIsAskedOnce) {
  START_BUS_OR_SKIP();
  using Authorization = Notifier::Authorization;
  {
    FakeNotificationServer server(bus->address(), {"body", "actions"});
    auto notifier = makeNotifier();
    EXPECT_EQ(notifier->authorization(), Authorization::unknown);
    EXPECT_EQ(refreshed(*notifier), Authorization::allowed);
    // Asked once per notifier however often requested. One post after the requests: once it has
    // gone, every earlier call has been answered.
    auto requesting = makeNotifier();
    requesting->requestAuthorization();
    requesting->requestAuthorization();
    MainLoopWait::until([&] { return requesting->authorization() == Authorization::allowed; }, 20);
    deliver(*requesting, "t", "b");
    EXPECT_EQ(server.serverInformationRequests(), 2) << "the refresh above, and one request";
  }
  {
    FakeNotificationServer titlesOnly(bus->address(), {"actions"});
    EXPECT_EQ(refreshed(*makeNotifier()), Authorization::allowedSilently);
  }
  EXPECT_EQ(refreshed(*makeNotifier()), Authorization::notAsked);
  {
    FakeNotificationServer silent(bus->address(), {"body"}, Behaviour::silent);
    EXPECT_EQ(refreshed(*makeNotifier(0.2)), Authorization::unknown);
  }
  environment.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder.path() / "nothing").string());
  EXPECT_EQ(refreshed(*makeNotifier()), Authorization::unknown);
}

TEST_F(NotifierTest, WithoutAnAnsweringServerNotifySendTakesThePost) {
  START_BUS_OR_SKIP();
  const std::vector<std::string> expected{"--app-name=Meterwright",
                                          "--icon=meterwright-icon",
                                          "--hint=string:desktop-entry:dev.example.meterwright",
                                          "--hint=boolean:suppress-sound:true",
                                          "--",
                                          "-\"Claude\"",
                                          "line one\nback\\slash $(reboot)"};
  struct Case {
    const char* name;
    std::optional<Behaviour> server;
  };
  const Case cases[] = {{"no server on the bus", std::nullopt},
                        {"server never answers", Behaviour::silent},
                        {"server refuses", Behaviour::refuse},
                        {"server leaves mid-call", Behaviour::vanish}};
  for (std::size_t run = 0; run < std::size(cases); ++run) {
    const Case& test = cases[run];
    std::optional<FakeNotificationServer> server;
    if (test.server) server.emplace(bus->address(), std::vector<std::string>{}, *test.server);
    auto notifier = makeNotifier(0.5);
    EXPECT_EQ(deliver(*notifier, "-\"Claude\"", "line one\nback\\slash $(reboot)", false),
              Delivery::fallback)
        << test.name;
    EXPECT_EQ(notifySendRun(run), expected) << test.name;
  }
}

TEST_F(NotifierTest, WithoutABusNothingWaitsAndTheStateIsUnknown) {
  auto notifier = makeNotifier();
  EXPECT_EQ(refreshed(*notifier), Notifier::Authorization::unknown);
  EXPECT_EQ(deliver(*notifier, "title", "body"), Delivery::fallback);
  ASSERT_TRUE(notifySendRun(0));
  EXPECT_EQ(notifySendRun(0)->at(3), "--hint=string:sound-name:message-new-instant");

  std::filesystem::remove(testing::FakePrograms::binFolder(folder) / "notify-send");
  EXPECT_EQ(deliver(*notifier, "title", "body"), Delivery::dropped);
}

TEST_F(NotifierTest, ARealServerShowsThePost) {
  EnvironmentBlock system = EnvironmentBlock::ofProcess();
  auto dunst = ExecutableSearch::find({}, "dunst", system);
  if (!dunst) GTEST_SKIP() << "dunst is not installed (scripts/setup installs it)";
  START_BUS_OR_SKIP();
  testing::VirtualDisplay display;
  if (!display.problem().empty()) GTEST_SKIP() << display.problem();

  std::optional<ChildProcess> server;  // stopped and reaped when dropped
  EnvironmentBlock serverEnvironment = system;
  serverEnvironment.set("DISPLAY", display.name());
  serverEnvironment.set("DBUS_SESSION_BUS_ADDRESS", bus->address());
  serverEnvironment.set("HOME", folder.path().string());
  ChildProcess::Launch serverLaunch;
  serverLaunch.executable = *dunst;
  serverLaunch.arguments = {"-verbosity", "info"};
  serverLaunch.environment = serverEnvironment;
  serverLaunch.error = ChildProcess::Stream::pipe;
  server = ChildProcess::start(serverLaunch);
  ASSERT_TRUE(server);

  // dunst takes the name once it has set up; a notifier made before would find no server.
  std::unique_ptr<Notifier> notifier;
  auto deadline = ChildProcess::deadlineAfter(20);
  do {
    notifier = makeNotifier();
    if (refreshed(*notifier) == Notifier::Authorization::allowed) break;
    MainLoopWait::run(0.1);
  } while (std::chrono::steady_clock::now() < deadline);
  ASSERT_EQ(notifier->authorization(), Notifier::Authorization::allowed);
  EXPECT_EQ(deliver(*notifier, "Meterwright test", "\"quoted\" <b>bold?</b> \\"), Delivery::server);
  EXPECT_TRUE(testing::FakePrograms::recordedRuns(folder, "notify-send").empty());

  if (HasFailure()) {
    std::string log;
    server->readOutput(ChildProcess::deadlineAfter(1), [&](std::string_view chunk) {
      log += chunk;
      return true;
    });
    ADD_FAILURE() << "dunst said:\n" << log;
  }
}

}  // namespace
}  // namespace meterwright
