#include "platform/control/ControlServer.h"

#include <glib-unix.h>
#include <glib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/control/ControlCoding.h"
#include "core/control/ControlLineBuffer.h"
#include "core/files/AtomicFile.h"
#include "platform/glib/MainContextScheduler.h"

namespace meterwright {

namespace {

// Bytes read from one connection in one turn of the loop, so a fast sender cannot hog it.
constexpr std::size_t readPerTurn = 64 * 1024;
// Connections accepted in one turn.
constexpr int acceptPerTurn = 16;

std::optional<sockaddr_un> addressOf(const std::filesystem::path& socket) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& path = socket.native();
  if (path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

enum class Probe { answers, stale, unknown };

// Whether a process listens on the socket file. Non-blocking: a full backlog means a busy
// instance, not a missing one.
Probe probe(const sockaddr_un& address) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Probe::unknown;
  int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  int error = errno;
  ::close(fd);
  if (result == 0 || error == EAGAIN) return Probe::answers;
  return error == ECONNREFUSED ? Probe::stale : Probe::unknown;
}

}  // namespace

struct ControlServer::Connection {
  std::uint64_t id = 0;
  int fd = -1;
  ControlLineBuffer incoming;
  std::string outgoing;
  // The request has been taken; what comes after it is ignored.
  bool answered = false;
  // The client has stopped sending.
  bool peerDone = false;
  // The last line is queued: the connection ends once it has left.
  bool closeWhenSent = false;
  GSource* source = nullptr;
  unsigned watching = 0;
  Scheduler::Token deadline = 0;

  ~Connection() {
    if (source) {
      g_source_destroy(source);
      g_source_unref(source);
    }
    if (fd >= 0) ::close(fd);
  }
};

// What a connection's GLib source carries: the server and the connection's number.
struct ControlServer::Watch {
  ControlServer* server;
  std::uint64_t id;

  static gboolean listening(gint, GIOCondition, gpointer data) {
    static_cast<ControlServer*>(data)->acceptAll();
    return G_SOURCE_CONTINUE;
  }
  static gboolean connection(gint, GIOCondition condition, gpointer data) {
    auto* watch = static_cast<Watch*>(data);
    watch->server->serve(watch->id, condition);
    return G_SOURCE_CONTINUE;
  }
  static void free(gpointer data) { delete static_cast<Watch*>(data); }
};

ControlServer::ControlServer(Options options)
    : options_(std::move(options)),
      context_(g_main_context_ref_thread_default()),
      scheduler_(options_.scheduler ? options_.scheduler
                                    : std::make_shared<MainContextScheduler>()),
      alive_(std::make_shared<ControlServer*>(this)) {
  if (options_.user == static_cast<uid_t>(-1)) options_.user = ::getuid();
  if (!options_.peerCredential) options_.peerCredential = PeerCredential::of;
}

ControlServer::~ControlServer() {
  alive_.reset();
  for (auto& [id, connection] : connections_) scheduler_->cancel(connection->deadline);
  connections_.clear();
  if (listenSource_) {
    g_source_destroy(listenSource_);
    g_source_unref(listenSource_);
  }
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    struct stat now {};
    if (boundFile_ && ::lstat(options_.socket.c_str(), &now) == 0 &&
        std::pair{now.st_dev, now.st_ino} == *boundFile_)
      ::unlink(options_.socket.c_str());
  }
  g_main_context_unref(context_);
}

ControlServer::Start ControlServer::start() {
  std::optional<sockaddr_un> address = addressOf(options_.socket);
  const std::filesystem::path folder = options_.socket.parent_path();
  if (!address || !AtomicFile::createFolders(folder, 0700)) return Start::unavailable;
  // Held from the look at the old socket until the new one listens: a second start waits, then
  // finds this one answering.
  std::optional<FileLock> lock =
      FileLock::acquire(folder / "control.lock", std::chrono::milliseconds(2000));
  if (!lock) return Start::unavailable;

  struct stat existing {};
  if (::lstat(options_.socket.c_str(), &existing) == 0) {
    // Anything but a socket is not ours to remove.
    if (!S_ISSOCK(existing.st_mode)) return Start::unavailable;
    switch (probe(*address)) {
      case Probe::answers:
        return Start::alreadyRunning;
      case Probe::unknown:
        return Start::unavailable;
      case Probe::stale:
        if (::unlink(options_.socket.c_str()) != 0 && errno != ENOENT) return Start::unavailable;
        break;
    }
  }

  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Start::unavailable;
  struct stat bound {};
  // The folder is the user's alone, so nobody can connect before the mode is narrowed.
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::chmod(options_.socket.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 ||
      ::lstat(options_.socket.c_str(), &bound) != 0) {
    ::close(fd);
    return Start::unavailable;
  }
  listenFd_ = fd;
  boundFile_ = std::pair{bound.st_dev, bound.st_ino};
  listenSource_ = g_unix_fd_source_new(fd, G_IO_IN);
  g_source_set_callback(listenSource_, G_SOURCE_FUNC(Watch::listening), this, nullptr);
  g_source_attach(listenSource_, context_);
  return Start::listening;
}

void ControlServer::acceptAll() {
  for (int turn = 0; turn < acceptPerTurn; ++turn) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (connections_.size() >= options_.connectionLimit ||
        !PeerCredential::accepted(options_.peerCredential(fd), options_.user)) {
      ::close(fd);
      continue;
    }
    std::uint64_t id = ++lastId_;
    auto connection = std::make_unique<Connection>();
    connection->id = id;
    connection->fd = fd;
    Connection& added = *connections_.emplace(id, std::move(connection)).first->second;
    watch(added);
    armDeadline(id);
  }
}

void ControlServer::watch(Connection& connection) {
  // After its request a client has nothing more to say; what it sends stays unread, and its
  // hang-up is reported whatever is watched.
  unsigned wanted = 0;
  if (!connection.peerDone && !connection.answered) wanted |= G_IO_IN;
  if (!connection.outgoing.empty()) wanted |= G_IO_OUT;
  if (connection.source && wanted == connection.watching) return;
  if (connection.source) {
    g_source_destroy(connection.source);
    g_source_unref(connection.source);
  }
  connection.watching = wanted;
  // Hang-ups and errors are reported whatever is asked for.
  connection.source = g_unix_fd_source_new(connection.fd, static_cast<GIOCondition>(wanted));
  g_source_set_callback(connection.source, G_SOURCE_FUNC(Watch::connection),
                        new Watch{this, connection.id}, Watch::free);
  g_source_attach(connection.source, context_);
}

void ControlServer::armDeadline(std::uint64_t id) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  scheduler_->cancel(found->second->deadline);
  std::weak_ptr<ControlServer*> alive = alive_;
  found->second->deadline = scheduler_->after(options_.deadline, [alive, id] {
    if (std::shared_ptr<ControlServer*> server = alive.lock()) (*server)->close(id);
  });
}

void ControlServer::close(std::uint64_t id) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  scheduler_->cancel(found->second->deadline);
  connections_.erase(found);
}

void ControlServer::serve(std::uint64_t id, unsigned condition) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  if (condition & (G_IO_ERR | G_IO_NVAL)) return close(id);
  if ((condition & G_IO_OUT) && !flush(id)) return;
  found = connections_.find(id);
  if (found == connections_.end()) return;
  // A request sent just before a hang-up is still carried out: `meterwright` may have gone.
  if ((condition & (G_IO_IN | G_IO_HUP)) && !found->second->peerDone) {
    if (!readFrom(*found->second)) return close(id);
    while (!found->second->answered) {
      std::optional<std::string> line = found->second->incoming.nextLine();
      if (!line) break;
      handle(id, *line);
      found = connections_.find(id);
      if (found == connections_.end()) return;
    }
    if (found->second->peerDone && !found->second->answered) return close(id);
  }
  if (condition & G_IO_HUP) return close(id);
  watch(*found->second);
}

bool ControlServer::readFrom(Connection& connection) {
  std::size_t taken = 0;
  char chunk[4096];
  while (taken < readPerTurn) {
    ssize_t got = ::recv(connection.fd, chunk, sizeof chunk, 0);
    if (got > 0) {
      taken += static_cast<std::size_t>(got);
      if (!connection.answered &&
          !connection.incoming.append(std::string_view(chunk, static_cast<std::size_t>(got))))
        return false;
    } else if (got == 0) {
      connection.peerDone = true;
      return true;
    } else if (errno == EINTR) {
      continue;
    } else {
      return errno == EAGAIN;
    }
  }
  return true;
}

void ControlServer::handle(std::uint64_t id, const std::string& line) {
  connections_.at(id)->answered = true;
  ControlCoding::DecodedRequest decoded = ControlCoding::decodeRequest(line);
  ControlAnswer reply;
  if (decoded.request) {
    reply = answer(id, *decoded.request);
  } else {
    reply.failure = decoded.failure;
  }
  if (!connections_.count(id)) return;
  const bool waitsForEvent = decoded.request && reply.ok() &&
                             ((decoded.request->kind == ControlRequestKind::pair && onPair) ||
                              (decoded.request->kind == ControlRequestKind::wake && onWake));
  queue(id, ControlCoding::encode(reply), !waitsForEvent);
}

ControlAnswer ControlServer::answer(std::uint64_t id, const ControlRequest& request) {
  auto unhandled = [] {
    return ControlAnswer::failed(ControlFailureKind::unhandled, "this instance does not do that");
  };
  ControlAnswer reply;
  switch (request.kind) {
    case ControlRequestKind::show:
    case ControlRequestKind::status: {
      const std::function<bool()>& handler =
          request.kind == ControlRequestKind::show ? onShow : onStatus;
      if (!handler) return unhandled();
      reply.headless = handler();
      reply.pid = ::getpid();
      return reply;
    }
    case ControlRequestKind::devices:
      return onDevices ? onDevices() : unhandled();
    case ControlRequestKind::revoke:
      return onRevoke ? onRevoke(request.device) : unhandled();
    case ControlRequestKind::diagnose:
      if (!onDiagnose) return unhandled();
      reply.diagnosis = onDiagnose();
      return reply;
    case ControlRequestKind::pair:
    case ControlRequestKind::wake: {
      const auto& handler = request.kind == ControlRequestKind::pair ? onPair : onWake;
      if (!handler) return unhandled();
      std::weak_ptr<ControlServer*> alive = alive_;
      return handler([alive, id](const ControlEvent& event) {
        if (std::shared_ptr<ControlServer*> server = alive.lock())
          (*server)->queue(id, ControlCoding::encode(event), true);
      });
    }
  }
  return unhandled();
}

void ControlServer::queue(std::uint64_t id, const std::string& line, bool last) {
  auto found = connections_.find(id);
  if (found == connections_.end() || found->second->closeWhenSent) return;
  found->second->outgoing += line;
  found->second->closeWhenSent = last;
  armDeadline(id);
  if (flush(id)) watch(*connections_.at(id));
}

bool ControlServer::flush(std::uint64_t id) {
  Connection& connection = *connections_.at(id);
  while (!connection.outgoing.empty()) {
    ssize_t sent = ::send(connection.fd, connection.outgoing.data(), connection.outgoing.size(),
                          MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      connection.outgoing.erase(0, static_cast<std::size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno == EAGAIN) {
      break;
    } else {
      close(id);
      return false;
    }
  }
  if (connection.outgoing.size() > options_.outgoingLimit ||
      (connection.outgoing.empty() && connection.closeWhenSent)) {
    close(id);
    return false;
  }
  // Waiting for its event, a client that has its answer has no deadline: the code's expiry
  // ends the wait.
  if (connection.outgoing.empty()) {
    scheduler_->cancel(connection.deadline);
    connection.deadline = 0;
  }
  return true;
}

}  // namespace meterwright
