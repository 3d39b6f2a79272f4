#include <glib.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <latch>
#include <set>

#include "core/control/ControlCoding.h"
#include "platform/control/ControlClient.h"
#include "platform/control/ControlServer.h"
#include "platform/glib/MainLoopWait.h"
#include "platform/process/ProcessRun.h"
#include "support/ManualScheduler.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;

sockaddr_un addressOf(const fs::path& socket) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  return address;
}

// A connected socket that writes and reads raw bytes, for clients that misbehave.
int rawConnect(const fs::path& socket) {
  sockaddr_un address = addressOf(socket);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// What a process that died while listening leaves at `socket`: a path nobody answers on.
bool leaveStaleSocket(const fs::path& socket) {
  fs::create_directories(socket.parent_path());
  sockaddr_un address = addressOf(socket);
  int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
  bool bound = ::bind(left, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(left);
  return bound;
}

// Whether the server has closed the connection, seen without reading what it sent.
bool closedByServer(int fd) {
  pollfd watched{fd, POLLRDHUP, 0};
  return ::poll(&watched, 1, 10'000) == 1 && (watched.revents & (POLLRDHUP | POLLHUP));
}

class ControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_main_context_push_thread_default(context); }
  void TearDown() override {
    server.reset();
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  ControlServer::Options options() {
    ControlServer::Options options;
    options.socket = socket;
    options.scheduler = scheduler;
    options.outgoingLimit = 64 * 1024;
    return options;
  }

  ControlServer& started(ControlServer::Options chosen) {
    server = std::make_unique<ControlServer>(std::move(chosen));
    server->onStatus = [] { return true; };
    EXPECT_EQ(server->start(), ControlServer::Start::listening);
    return *server;
  }

  // Runs a blocking client on a thread while this thread turns the server's loop. The client's
  // own deadlines bound the wait.
  template <typename T>
  T whileServing(std::function<T()> client) {
    std::future<T> result = std::async(std::launch::async, std::move(client));
    MainLoopWait::until(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20);
    return result.get();
  }

  std::optional<ControlAnswer> ask(ControlRequest request) {
    return whileServing<std::optional<ControlAnswer>>([this, request] {
      std::optional<ControlClient> client = ControlClient::connect(socket, 5);
      if (!client || !client->send(request, 5)) return std::optional<ControlAnswer>();
      return client->readAnswer(5);
    });
  }

  std::optional<std::string> askRaw(std::string bytes) {
    return whileServing<std::optional<std::string>>([this, bytes] {
      std::optional<ControlClient> client = ControlClient::connect(socket, 5);
      if (!client || ::send(client->fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0)
        return std::optional<std::string>();
      return client->readLine(5);
    });
  }

  GMainContext* context = g_main_context_new();
  testing::TemporaryFolder folder;
  fs::path socket = folder.path() / "run" / "meterwright" / "control";
  testing::ManualClock clock;
  std::shared_ptr<testing::ManualScheduler> scheduler =
      std::make_shared<testing::ManualScheduler>(clock);
  std::unique_ptr<ControlServer> server;
};

TEST_F(ControlServerTest, ShowReachesItsHandlerInAPrivateFolderAndSocket) {
  int shown = 0;
  started(options()).onShow = [&] {
    ++shown;
    return false;
  };
  std::optional<ControlAnswer> answer = ask({ControlRequestKind::show, ""});
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->ok());
  EXPECT_EQ(answer->headless, false);
  EXPECT_EQ(answer->pid, ::getpid());
  EXPECT_EQ(shown, 1);

  struct stat info {};
  ASSERT_EQ(::stat(socket.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(::lstat(socket.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// socat, a client that none of this code is: it sends the line, half-closes the connection at
// the end of its input and prints what comes back.
TEST_F(ControlServerTest, AGenericLineClientThatHalfClosesIsAnswered) {
  const char* socat = "/usr/bin/socat";
  if (!fs::exists(socat)) GTEST_SKIP() << "socat is not installed";
  int shown = 0;
  started(options()).onShow = [&] { return ++shown, true; };
  testing::writeFile(folder.path() / "request", "{\"version\":1,\"request\":\"show\"}\n");
  auto run = whileServing<std::optional<ProcessRunResult>>([&] {
    return runCollectingOutput(
        socat,
        {"-t", "5", "OPEN:" + (folder.path() / "request").string() + "!!STDOUT",
         "UNIX-CONNECT:" + socket.string()},
        {}, 20, 1, 65536);
  });
  ASSERT_TRUE(run);
  EXPECT_EQ(run->exitStatus, 0) << run->standardOutput;
  std::optional<ControlAnswer> answer =
      ControlCoding::decodeAnswer(run->standardOutput.substr(0, run->standardOutput.find('\n')));
  ASSERT_TRUE(answer) << run->standardOutput;
  EXPECT_EQ(answer->headless, true);
  EXPECT_EQ(shown, 1);
}

TEST_F(ControlServerTest, RequestsItCannotCarryOutGetAnErrorOfTheirKind) {
  started(options());
  struct Case {
    std::string line;
    std::string_view kind;
  };
  const Case cases[] = {
      {R"({"version":1,"request":"quit"})", ControlFailureKind::unknownRequest},
      {R"({"version":9,"request":"show"})", ControlFailureKind::unsupportedVersion},
      {"\x01\x02garbage", ControlFailureKind::malformed},
      {R"({"version":1,"request":"devices"})", ControlFailureKind::unhandled},
  };
  for (const Case& each : cases) {
    std::optional<std::string> line = askRaw(each.line + "\n");
    ASSERT_TRUE(line) << each.line;
    std::optional<ControlAnswer> answer = ControlCoding::decodeAnswer(*line);
    ASSERT_TRUE(answer && answer->failure) << *line;
    EXPECT_EQ(answer->failure->kind, each.kind) << *line;
  }
  EXPECT_EQ(ask({ControlRequestKind::status, ""})->headless, true);
  EXPECT_EQ(server->connectionCount(), 0u);
}

TEST_F(ControlServerTest, SilentFloodingAndNonReadingClientsDoNotStallIt) {
  ControlServer& running = started(options());
  // An answer far larger than what the kernel buffers and the server keeps for a client.
  running.onDevices = [] {
    ControlAnswer answer;
    answer.devices.assign(
        20'000,
        ControlDevice{"6F9619FF-8B86-4011-B42D-00C04FC964FF", "iPad", "iPadOS", 1740821460, {}});
    return answer;
  };

  int silent = rawConnect(socket);
  ASSERT_GE(silent, 0);
  bool floodEnded = whileServing<bool>([this] {
    int fd = rawConnect(socket);
    std::string megabyte(1 << 20, 'x');
    ssize_t sent = ::send(fd, megabyte.data(), megabyte.size(), MSG_NOSIGNAL);
    bool ended = sent < static_cast<ssize_t>(megabyte.size()) || closedByServer(fd);
    ::close(fd);
    return ended;
  });
  EXPECT_TRUE(floodEnded);
  bool nonReaderDropped = whileServing<bool>([this] {
    int fd = rawConnect(socket);
    std::string request = ControlCoding::encode(ControlRequest{ControlRequestKind::devices, ""});
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    bool dropped = closedByServer(fd);
    ::close(fd);
    return dropped;
  });
  EXPECT_TRUE(nonReaderDropped);

  // Meanwhile others are answered; the silent one is held until its deadline only.
  std::optional<ControlAnswer> status = ask({ControlRequestKind::status, ""});
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->ok());
  EXPECT_EQ(running.connectionCount(), 1u);
  scheduler->advance(4.9);
  EXPECT_EQ(running.connectionCount(), 1u);
  scheduler->advance(0.2);
  EXPECT_EQ(running.connectionCount(), 0u);
  EXPECT_TRUE(closedByServer(silent));
  ::close(silent);
}

TEST_F(ControlServerTest, ConnectionsPastTheLimitAreClosedUntilDeadlinesFreeSome) {
  ControlServer::Options limited = options();
  limited.connectionLimit = 2;
  ControlServer& running = started(limited);
  int silent[2] = {rawConnect(socket), rawConnect(socket)};
  MainLoopWait::until([&] { return running.connectionCount() == 2; }, 10);
  EXPECT_FALSE(ask({ControlRequestKind::status, ""}));
  scheduler->advance(5);
  EXPECT_EQ(running.connectionCount(), 0u);
  EXPECT_TRUE(ask({ControlRequestKind::status, ""}));
  for (int fd : silent) ::close(fd);
}

TEST_F(ControlServerTest, AClientOfAnotherUserIsClosedUnanswered) {
  EXPECT_FALSE(PeerCredential::accepted(std::nullopt, 1000));
  EXPECT_FALSE(PeerCredential::accepted(PeerCredential{1, 1001, 1001}, 1000));
  EXPECT_TRUE(PeerCredential::accepted(PeerCredential{1, 1000, 1000}, 1000));

  ControlServer::Options foreign = options();
  foreign.peerCredential = [](int fd) {
    std::optional<PeerCredential> real = PeerCredential::of(fd);
    if (real) real->uid += 1;
    return real;
  };
  int shown = 0;
  started(foreign).onShow = [&] { return ++shown, false; };
  EXPECT_FALSE(ask({ControlRequestKind::show, ""}));
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(server->connectionCount(), 0u);
}

// The kernel's own word: a process that really runs as another user.
TEST_F(ControlServerTest, AProcessOfAnotherUidIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "running a client as a second uid needs root";
  int shown = 0;
  started(options()).onShow = [&] { return ++shown, false; };
  // Opened for this test so that only the uid check stands in the way.
  for (const fs::path& above : {folder.path(), folder.path() / "run", socket.parent_path()})
    ::chmod(above.c_str(), 0711);
  ::chmod(socket.c_str(), 0666);
  fs::path path = socket;
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) _exit(3);
    int fd = rawConnect(path);
    if (fd < 0) _exit(4);
    const char request[] = "{\"version\":1,\"request\":\"show\"}\n";
    // Closed before the request went out, or unanswered after it: refused either way.
    if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) < 0)
      _exit(errno == EPIPE || errno == ECONNRESET ? 0 : 5);
    char reply[64];
    // An end or a reset; any byte would be an answer.
    _exit(::recv(fd, reply, sizeof reply, 0) > 0 ? 6 : 0);
  }
  int status = -1;
  MainLoopWait::until([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 20);
  if (status == -1) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(shown, 0);
}

TEST_F(ControlServerTest, AStaleSocketIsReplacedAndALiveOneMeansAlreadyRunning) {
  ASSERT_TRUE(leaveStaleSocket(socket));
  started(options());
  EXPECT_TRUE(ask({ControlRequestKind::status, ""}));

  ControlServer second(options());
  EXPECT_EQ(second.start(), ControlServer::Start::alreadyRunning);
  EXPECT_TRUE(ask({ControlRequestKind::status, ""}));

  // The first one leaves no socket behind, so the next start listens at once.
  server.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
  EXPECT_FALSE(ControlClient::connect(socket, 1));
  started(options());
}

// Two starts at once over a stale socket: the lock lets one replace it, and the other then
// finds that one answering instead of replacing it in turn.
TEST_F(ControlServerTest, OfTwoStartsAtOnceOneListensAndTheOtherFindsIt) {
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(leaveStaleSocket(socket));

    // Each holds its server until both have decided: one gone early would leave the path free.
    std::latch decided(2);
    std::promise<void> bothDecided;
    std::shared_future<void> release = bothDecided.get_future().share();
    auto start = [&] {
      GMainContext* own = g_main_context_new();
      g_main_context_push_thread_default(own);
      ControlServer::Start outcome;
      {
        ControlServer contender(options());
        outcome = contender.start();
        decided.count_down();
        release.wait();
      }
      g_main_context_pop_thread_default(own);
      g_main_context_unref(own);
      return outcome;
    };
    auto first = std::async(std::launch::async, start);
    auto second = std::async(std::launch::async, start);
    // start() waits for the lock two seconds at most.
    decided.wait();
    bothDecided.set_value();
    std::multiset<ControlServer::Start> outcomes{first.get(), second.get()};
    EXPECT_EQ(outcomes, (std::multiset<ControlServer::Start>{ControlServer::Start::listening,
                                                             ControlServer::Start::alreadyRunning}))
        << "round " << round;
    fs::remove(socket);
  }
}

TEST_F(ControlServerTest, SomethingElseAtThePathIsLeftAlone) {
  fs::create_directories(socket.parent_path());
  testing::writeFile(socket, "not a socket");
  ControlServer refused(options());
  EXPECT_EQ(refused.start(), ControlServer::Start::unavailable);
  EXPECT_EQ(testing::readFile(socket), "not a socket");
}

TEST_F(ControlServerTest, APairAnswerIsFollowedByOneEvent) {
  ControlServer::EventSender later;
  started(options()).onPair = [&](ControlServer::EventSender sender) {
    later = std::move(sender);
    ControlAnswer answer;
    answer.invitation = ControlInvitation{"123-456", "link", 4000, {}, 1};
    return answer;
  };
  std::future<std::optional<std::string>> event =
      std::async(std::launch::async, [this]() -> std::optional<std::string> {
        std::optional<ControlClient> client = ControlClient::connect(socket, 5);
        if (!client || !client->send({ControlRequestKind::pair, ""}, 5)) return std::nullopt;
        std::optional<ControlAnswer> answer = client->readAnswer(5);
        if (!answer || !answer->invitation) return std::nullopt;
        return client->readLine(10);
      });
  ASSERT_TRUE(MainLoopWait::until([&] { return bool(later); }, 10));
  // Waiting for its event, the client has no deadline.
  scheduler->advance(60);
  EXPECT_EQ(server->connectionCount(), 1u);
  later(ControlEvent{ControlEventKind::paired, "Watch"});
  MainLoopWait::until(
      [&] { return event.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20);
  std::optional<std::string> line = event.get();
  ASSERT_TRUE(line);
  EXPECT_EQ(ControlCoding::decodeEvent(*line), (ControlEvent{ControlEventKind::paired, "Watch"}));
  EXPECT_EQ(server->connectionCount(), 0u);
  // The client is gone: a second event goes nowhere.
  later(ControlEvent{ControlEventKind::expired, ""});

  // A client that hangs up while it waits is let go at once.
  later = nullptr;
  int waiting = rawConnect(socket);
  std::string request = ControlCoding::encode(ControlRequest{ControlRequestKind::pair, ""});
  ASSERT_EQ(::send(waiting, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(MainLoopWait::until([&] { return bool(later); }, 10));
  EXPECT_EQ(server->connectionCount(), 1u);
  ::close(waiting);
  EXPECT_TRUE(MainLoopWait::until([&] { return server->connectionCount() == 0; }, 10));
}

}  // namespace
}  // namespace meterwright
