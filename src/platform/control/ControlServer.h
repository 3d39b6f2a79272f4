#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/control/ControlMessage.h"
#include "core/files/FileLock.h"
#include "core/time/Scheduler.h"
#include "platform/control/PeerCredential.h"

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace meterwright {

// The application's end of the control socket, on the GLib main context that is the thread
// default where it is made. Nothing here blocks that loop: sockets are non-blocking, a request
// line is bounded, a client has a deadline to send its request and to take its answer, and one
// whose unread answer piles up is dropped. Connections from another user are closed unanswered.
//
// One request a connection: the answer ends it, except after a pair answer, which is followed by
// one event sent through the handler's EventSender.
class ControlServer {
 public:
  enum class Start {
    listening,
    // Another process of the user answers on the socket.
    alreadyRunning,
    // The folder, the lock or the socket could not be had.
    unavailable,
  };

  struct Options {
    std::filesystem::path socket;
    // Runs the connections' deadlines; null: GLib timeouts on the main context.
    std::shared_ptr<Scheduler> scheduler;
    // Seconds a client has to send its request, and then to take its answer.
    double deadline = 5;
    // Connections held at once; more are closed at once until the deadlines free some.
    std::size_t connectionLimit = 32;
    // Unsent bytes past which a client that does not read is dropped.
    std::size_t outgoingLimit = 256 * 1024;
    // The connecting process; null: the kernel's word (SO_PEERCRED).
    std::function<std::optional<PeerCredential>(int fd)> peerCredential;
    // Whose processes may connect.
    uid_t user = static_cast<uid_t>(-1);
  };

  using EventSender = std::function<void(const ControlEvent&)>;

  explicit ControlServer(Options options);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Makes the folder (0700) when missing and listens on the socket (0600). A socket left by a
  // process that is gone is replaced; one that answers means another instance runs. Two starts
  // at once decide under a lock file beside the socket.
  Start start();

  // The handlers, set before start(), run on the main loop. An unset one answers "unhandled".
  // show: opens the popup; returns whether this instance runs headless (nothing opened then).
  std::function<bool()> onShow;
  // status: whether this instance runs headless.
  std::function<bool()> onStatus;
  std::function<ControlAnswer()> onDevices;
  std::function<ControlAnswer(const std::string& device)> onRevoke;
  // pair: the answer now, then exactly one event through `later`, on the main loop and not from
  // within the handler. `later` does nothing once the client has gone.
  std::function<ControlAnswer(EventSender later)> onPair;
  // wake: like pair, the answer now and one event later: the timed reading and publish, for
  // --wake-selftest.
  std::function<ControlAnswer(EventSender later)> onWake;
  // diagnose: the tray item's and the device sync's state, for --diagnose.
  std::function<ControlDiagnosis()> onDiagnose;

  // Open connections, for tests.
  std::size_t connectionCount() const { return connections_.size(); }

 private:
  struct Connection;
  struct Watch;

  void acceptAll();
  void serve(std::uint64_t id, unsigned condition);
  // False when the connection was closed.
  bool readFrom(Connection& connection);
  void handle(std::uint64_t id, const std::string& line);
  ControlAnswer answer(std::uint64_t id, const ControlRequest& request);
  void queue(std::uint64_t id, const std::string& line, bool last);
  // False when the connection was closed.
  bool flush(std::uint64_t id);
  void watch(Connection& connection);
  void armDeadline(std::uint64_t id);
  void close(std::uint64_t id);

  Options options_;
  GMainContext* context_ = nullptr;
  std::shared_ptr<Scheduler> scheduler_;
  int listenFd_ = -1;
  GSource* listenSource_ = nullptr;
  // The socket file bound here, removed at the end only while it is still this one.
  std::optional<std::pair<dev_t, ino_t>> boundFile_;
  std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
  std::uint64_t lastId_ = 0;
  // Deadlines and event senders check this first: the server may be gone by then.
  std::shared_ptr<ControlServer*> alive_;
};

}  // namespace meterwright
