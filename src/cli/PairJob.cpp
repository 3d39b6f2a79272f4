// --pair: pairing a device from a terminal, for machines reached over SSH. The sync manager's
// publisher runs in this process while a code is shown; the job ends when a device has paired
// with it (0), when the code expires or on Ctrl-C (1).

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/Jobs.h"
#include "cli/TerminalQr.h"
#include "core/config/ConfigStore.h"
#include "core/sync/protocol/SyncProtocol.h"
#include "core/usage/SnapshotStore.h"
#include "desktop/CompositionRoot.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/sync/SyncManager.h"
#include "desktop/text/DesktopText.h"
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

// Where devices can reach this computer: every address of an interface that is up, loopback
// left out, each with the port; the one listened on when that was chosen.
std::vector<std::string> reachableAt(const std::string& listenAddress, std::uint16_t port) {
  auto withPort = [&](const std::string& address) {
    bool six = address.find(':') != std::string::npos;
    return (six ? "[" + address + "]" : address) + ":" + std::to_string(port);
  };
  if (!listenAddress.empty()) return {withPort(listenAddress)};
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
      continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (entry->ifa_addr->sa_family == AF_INET) {
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                  sizeof text);
      addresses.push_back(withPort(text));
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      auto* address = reinterpret_cast<sockaddr_in6*>(entry->ifa_addr);
      ::inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text);
      std::string shown = text;
      // A link-local address means nothing without its interface.
      if (IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr)) shown += std::string("%") + entry->ifa_name;
      addresses.push_back(withPort(shown));
    }
  }
  ::freeifaddrs(list);
  return addresses;
}

// What the publisher's queue tells the loop: the name of the device that paired.
struct Pairing {
  std::mutex lock;
  std::optional<std::string> deviceName;
  int wake[2] = {-1, -1};
};

class PairSession {
 public:
  PairSession(Context& context, SyncManager& manager, std::shared_ptr<const Clock> clock,
              std::string listenAddress, bool terminal)
      : context_(context),
        manager_(manager),
        clock_(std::move(clock)),
        listenAddress_(std::move(listenAddress)),
        terminal_(terminal) {}

  void showNewCode() {
    invitation_ = manager_.publisher()->makeInvitation(SyncProtocol::invitationLifetime);
    std::ostream& out = context_.out;
    if (terminal_) out << "\r\x1b[K";
    const std::string link = invitation_.encoded();
    if (terminal_) {
      if (std::optional<QrCode> qr = QrCode::encode(link))
        out << "\n" << TerminalQr::text(*qr, true);
    }
    std::uint16_t port = manager_.publisher()->port().value_or(0);
    out << desktop::L("cli.pair.code", "Pairing code: %@", invitation_.code.formatted()) << "\n"
        << desktop::L("cli.pair.link", "Link: %@", link) << "\n"
        << desktop::L("cli.pair.port", "Port: %d", static_cast<int>(port)) << "\n";
    std::string addresses;
    for (const std::string& address : reachableAt(listenAddress_, port))
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

  double secondsLeft() const { return secondsBetween(clock_->now(), invitation_.expiresAt); }

  // Ends the countdown's line before the closing message.
  void endLine() {
    if (terminal_) context_.out << "\r\x1b[K";
  }

 private:
  Context& context_;
  SyncManager& manager_;
  std::shared_ptr<const Clock> clock_;
  std::string listenAddress_;
  bool terminal_;
  PairingInvitation invitation_;
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

}  // namespace

int pair(Context& context) {
  auto root = CompositionRoot::forProcess(context.locations, false);
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

  const bool terminal = &context.out == &std::cout && ::isatty(STDOUT_FILENO);
  PairSession session(context, *manager, root.readerContext().clock, listenAddress, terminal);
  SignalsToPipe signals;
  session.showNewCode();

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
                         {pairing.wake[0], POLLIN, 0},
                         {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    int ready = ::poll(watched, 3, static_cast<int>(std::ceil(wait * 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (watched[0].revents & POLLIN) {
      session.endLine();
      break;
    }
    if (watched[1].revents & POLLIN) {
      std::lock_guard guard(pairing.lock);
      session.endLine();
      context.out << desktop::L("cli.pair.paired", "%@ is paired.", pairing.deviceName.value_or(""))
                  << "\n";
      status = 0;
      break;
    }
    if (watched[2].revents & (POLLIN | POLLHUP)) {
      int enters = 0;
      inputOpen = readInput(enters);
      if (enters > 0) session.showNewCode();
    }
    session.tick();
  }
  context.out.flush();
  // The device's first snapshot was sent just before it was announced; it must leave before the
  // sockets close.
  if (status == 0) manager->publisher()->waitUntilSent(sendDeadline);
  // Stops the publisher, whose queue calls the callback above, before `pairing` goes.
  manager.reset();
  closeWake();
  return status;
}

}  // namespace meterwright::Jobs
