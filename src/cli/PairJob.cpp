// --pair: pairing a device from a terminal, for machines reached over SSH. The running
// application's publisher shows the code when an instance runs; otherwise the sync manager's
// publisher runs in this process while a code is shown; the job ends when a device has paired
// with it (0), when the code expires or on Ctrl-C (1).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/Jobs.h"
#include "cli/SecondInstance.h"
#include "cli/TerminalQr.h"
#include "core/config/ConfigStore.h"
#include "core/control/ControlCoding.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/usage/SnapshotStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/control/DeviceCommands.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
#include "platform/control/ControlClient.h"
#include "platform/qr/QrCode.h"

namespace meterwright::Jobs {

namespace {

// How long the publisher may take to listen.
constexpr double listenDeadline = 5;
// How long the frames already sent to a device that has just paired may take to leave.
constexpr double sendDeadline = 5;

// Written by the signal handler, read by the loop: a self-pipe turns SIGINT into an event.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  int saved = errno;
  char byte = 's';
  [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

// SIGINT and SIGTERM arrive on the pipe while this lives; the old handlers come back after.
class SignalsToPipe {
 public:
  SignalsToPipe() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInterrupt_);
    ::sigaction(SIGTERM, &action, &oldTerminate_);
  }
  ~SignalsToPipe() {
    if (signalPipe[0] < 0) return;
    ::sigaction(SIGINT, &oldInterrupt_, nullptr);
    ::sigaction(SIGTERM, &oldTerminate_, nullptr);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
  }
  SignalsToPipe(const SignalsToPipe&) = delete;
  SignalsToPipe& operator=(const SignalsToPipe&) = delete;

  int fd() const { return signalPipe[0]; }

 private:
  struct sigaction oldInterrupt_ {};
  struct sigaction oldTerminate_ {};
};

// What the publisher's queue tells the loop: the name of the device that paired.
struct Pairing {
  std::mutex lock;
  std::optional<std::string> deviceName;
  int wake[2] = {-1, -1};
};

// What the loop hears from the route a code came from.
struct Heard {
  enum class What { nothing, paired, expired, lost } what = What::nothing;
  std::string name;
};

// Where codes come from and pairings are heard of: this process's own publisher, or the running
// application's through the control socket.
struct PairRoute {
  // A new code; nothing when none could be had (said on standard error).
  std::function<std::optional<ControlInvitation>()> newCode;
  // Readable when `hear` may have news.
  std::function<int()> wakeFd;
  std::function<Heard()> hear;
};

class PairSession {
 public:
  PairSession(Context& context, std::shared_ptr<const Clock> clock, bool terminal)
      : context_(context), clock_(std::move(clock)), terminal_(terminal) {}

  void show(const ControlInvitation& invitation) {
    invitation_ = invitation;
    std::ostream& out = context_.out;
    if (terminal_) out << "\r\x1b[K";
    if (terminal_) {
      if (std::optional<QrCode> qr = QrCode::encode(invitation.link))
        out << "\n" << TerminalQr::text(*qr, true);
    }
    out << desktop::L("cli.pair.code", "Pairing code: %@", invitation.code) << "\n"
        << desktop::L("cli.pair.link", "Link: %@", invitation.link) << "\n"
        << desktop::L("cli.pair.port", "Port: %d", invitation.port) << "\n";
    std::string addresses;
    for (const std::string& address : invitation.addresses)
      addresses += (addresses.empty() ? "" : "  ") + address;
    if (!addresses.empty())
      out << desktop::L("cli.pair.addresses", "Addresses: %@", addresses) << "\n";
    if (terminal_) {
      out << desktop::L("cli.pair.keys", "Enter makes a new code, Ctrl-C stops.") << "\n";
      shownSeconds_.reset();
      tick();
    }
    out.flush();
  }

  // The countdown, redrawn on its line when the whole second changes.
  void tick() {
    if (!terminal_) return;
    int left = static_cast<int>(secondsLeft());
    if (shownSeconds_ == left) return;
    shownSeconds_ = left;
    context_.out << "\r\x1b[K" << desktop::L("cli.pair.expiresIn", "Expires in %ds", left);
    context_.out.flush();
  }

  double secondsLeft() const {
    return secondsBetween(clock_->now(), dateFromUnixSeconds(invitation_.expiresAt));
  }

  // Ends the countdown's line before the closing message.
  void endLine() {
    if (terminal_) context_.out << "\r\x1b[K";
  }

 private:
  Context& context_;
  std::shared_ptr<const Clock> clock_;
  bool terminal_;
  ControlInvitation invitation_;
  std::optional<int> shownSeconds_;
};

// Reads what is waiting on standard input and counts the Enters; false at the end of input.
bool readInput(int& enters) {
  char buffer[256];
  ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (got <= 0) return got < 0 && (errno == EAGAIN || errno == EINTR);
  for (ssize_t i = 0; i < got; ++i) enters += buffer[i] == '\n';
  return true;
}

// Shows codes until a device pairs (0), the code expires, Ctrl-C or the route is lost (1).
int runSession(Context& context, PairRoute& route, std::shared_ptr<const Clock> clock) {
  std::optional<ControlInvitation> first = route.newCode();
  if (!first) return 1;
  const bool terminal = &context.out == &std::cout && ::isatty(STDOUT_FILENO);
  PairSession session(context, std::move(clock), terminal);
  SignalsToPipe signals;
  session.show(*first);

  int status = 1;
  bool inputOpen = true;
  for (;;) {
    double left = session.secondsLeft();
    if (left <= 0) {
      session.endLine();
      context.out << desktop::L("cli.pair.expired", "This code has expired") << "\n";
      break;
    }
    // A terminal's countdown moves when the whole seconds left change; otherwise only the expiry
    // wakes the loop.
    double wait = terminal ? std::min(left, std::fmod(left, 1.0) + 0.001) : left;
    pollfd watched[3] = {{signals.fd(), POLLIN, 0},
                         {route.wakeFd(), POLLIN, 0},
                         {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    int ready = ::poll(watched, 3, static_cast<int>(std::ceil(wait * 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (watched[0].revents & POLLIN) {
      session.endLine();
      break;
    }
    if (watched[1].revents & (POLLIN | POLLHUP)) {
      Heard heard = route.hear();
      if (heard.what == Heard::What::paired) {
        session.endLine();
        context.out << desktop::L("cli.pair.paired", "%@ is paired.", heard.name) << "\n";
        status = 0;
        break;
      }
      if (heard.what == Heard::What::expired) {
        session.endLine();
        context.out << desktop::L("cli.pair.expired", "This code has expired") << "\n";
        break;
      }
      if (heard.what == Heard::What::lost) {
        session.endLine();
        SecondInstance::notAnswered(context);
        break;
      }
    }
    if (watched[2].revents & (POLLIN | POLLHUP)) {
      int enters = 0;
      inputOpen = readInput(enters);
      if (enters > 0) {
        std::optional<ControlInvitation> next = route.newCode();
        if (!next) break;
        session.show(*next);
      }
    }
    session.tick();
  }
  context.out.flush();
  return status;
}

// Through the running application: each code is one pair request on a connection of its own,
// which then carries the one event that ends it.
int pairThroughInstance(Context& context, std::shared_ptr<const Clock> clock) {
  std::optional<ControlClient> connection;
  PairRoute route;
  route.newCode = [&]() -> std::optional<ControlInvitation> {
    connection = ControlClient::connect(ControlClient::socketPath(context.locations),
                                        SecondInstance::answerDeadline);
    std::optional<ControlAnswer> answer;
    if (connection &&
        connection->send({ControlRequestKind::pair, {}}, SecondInstance::answerDeadline))
      answer = connection->readAnswer(SecondInstance::answerDeadline);
    if (!answer) {
      SecondInstance::notAnswered(context);
      return std::nullopt;
    }
    if (answer->failure && answer->failure->kind == ControlFailureKind::notListening) {
      context.err << desktop::L("cli.pair.notListening",
                                "meterwright: could not listen on the local network: %@",
                                answer->failure->message)
                  << "\n";
      return std::nullopt;
    }
    if (answer->failure || !answer->invitation) {
      SecondInstance::failed(context, answer->failure.value_or(ControlFailure{}));
      return std::nullopt;
    }
    return answer->invitation;
  };
  route.wakeFd = [&] { return connection ? connection->fd() : -1; };
  route.hear = [&]() -> Heard {
    std::optional<std::string> line = connection->readLine(0);
    // Part of a line: the rest wakes the loop again.
    if (!line) return {connection->ended() ? Heard::What::lost : Heard::What::nothing, {}};
    std::optional<ControlEvent> event = ControlCoding::decodeEvent(*line);
    if (!event) return {Heard::What::lost, {}};
    if (event->kind == ControlEventKind::paired) return {Heard::What::paired, event->name};
    return {Heard::What::expired, {}};
  };
  return runSession(context, route, std::move(clock));
}

}  // namespace

int pair(Context& context) {
  auto root = CompositionRoot::forProcess(context.locations, false);
  if (ControlClient::connect(ControlClient::socketPath(context.locations), 0.5))
    return pairThroughInstance(context, root.readerContext().clock);

  std::unique_ptr<SyncManager> manager = ProcessSync::syncManager(root);
  const std::string listenAddress =
      root.readerContext().environment.get("METERWRIGHT_LISTEN_ADDRESS").value_or("");

  Pairing pairing;
  if (::pipe2(pairing.wake, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  // A device paired with the code (not a returning one): the coordinator stores it and says so.
  manager->coordinator()->onDevicePaired = [&pairing](const PairedDevice& device) {
    {
      std::lock_guard guard(pairing.lock);
      pairing.deviceName = device.name;
    }
    char byte = 'p';
    [[maybe_unused]] ssize_t ignored = ::write(pairing.wake[1], &byte, 1);
  };
  auto closeWake = [&pairing] {
    ::close(pairing.wake[0]);
    ::close(pairing.wake[1]);
  };

  if (manager->start() == SyncManager::Start::anotherProcessPublishes) {
    context.err << desktop::L("cli.pair.otherPublisher",
                              "meterwright: another Meterwright process is publishing; pair from "
                              "it")
                << "\n";
    manager.reset();
    closeWake();
    return 1;
  }
  if (!manager->publisher()->waitUntilReady(listenDeadline)) {
    context.err << desktop::L("cli.pair.notListening",
                              "meterwright: could not listen on the local network: %@",
                              manager->lastError().value_or("no answer in time"))
                << "\n";
    manager.reset();
    closeWake();
    return 1;
  }
  // The last reading goes to the device as soon as it has paired.
  Config config = ConfigStore::load(context.locations).config;
  if (std::optional<Snapshot> stored = SnapshotStore::load(
          SnapshotStore::sevenDays, root.readerContext().clock->now(), context.locations))
    manager->publish(*stored, config);

  PairRoute route;
  route.newCode = [&] {
    return std::optional(DeviceCommands::invitation(*manager->publisher(), listenAddress));
  };
  route.wakeFd = [&] { return pairing.wake[0]; };
  route.hear = [&]() -> Heard {
    std::lock_guard guard(pairing.lock);
    return {Heard::What::paired, pairing.deviceName.value_or("")};
  };
  int status = runSession(context, route, root.readerContext().clock);
  // The device's first snapshot was sent just before it was announced; it must leave before the
  // sockets close.
  if (status == 0) manager->publisher()->waitUntilSent(sendDeadline);
  // Stops the publisher, whose queue calls the callback above, before `pairing` goes.
  manager.reset();
  closeWake();
  return status;
}

}  // namespace meterwright::Jobs
