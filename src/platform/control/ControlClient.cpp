#include "platform/control/ControlClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "core/control/ControlCoding.h"
#include "platform/control/PeerCredential.h"

namespace meterwright {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(seconds > 0 ? seconds : 0));
}

int millisecondsUntil(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until `end`; false when the time ran out first.
bool await(int fd, short events, Clock::time_point end) {
  for (;;) {
    pollfd watched{fd, events, 0};
    int ready = ::poll(&watched, 1, millisecondsUntil(end));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace

std::filesystem::path ControlClient::socketPath(const FileLocations& locations) {
  return locations.runtimeFolder() / "control";
}

std::optional<ControlClient> ControlClient::connect(const std::filesystem::path& socket,
                                                    double deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& path = socket.native();
  if (path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const Clock::time_point end = after(deadline);
  for (;;) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      // The folder is the user's alone, but a socket beside the user defaults is checked too.
      if (!PeerCredential::accepted(PeerCredential::of(fd), ::getuid())) {
        ::close(fd);
        return std::nullopt;
      }
      return ControlClient(fd);
    }
    int error = errno;
    ::close(fd);
    // A full backlog: the instance is busy, not gone.
    if (error != EAGAIN || Clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ControlClient::ControlClient(ControlClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), ended_(other.ended_), buffer_(std::move(other.buffer_)) {}

ControlClient& ControlClient::operator=(ControlClient&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    ended_ = other.ended_;
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

ControlClient::~ControlClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool ControlClient::send(const ControlRequest& request, double deadline) {
  const std::string line = ControlCoding::encode(request);
  const Clock::time_point end = after(deadline);
  std::size_t sent = 0;
  while (sent < line.size()) {
    ssize_t wrote = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      sent += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else if (wrote < 0 && errno == EAGAIN) {
      if (!await(fd_, POLLOUT, end)) return false;
    } else {
      return false;
    }
  }
  return true;
}

std::optional<std::string> ControlClient::readLine(double deadline) {
  const Clock::time_point end = after(deadline);
  for (;;) {
    if (std::optional<std::string> line = buffer_.nextLine()) return line;
    if (ended_) return std::nullopt;
    char chunk[4096];
    ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got > 0) {
      if (!buffer_.append(std::string_view(chunk, static_cast<std::size_t>(got)))) {
        ended_ = true;
        return std::nullopt;
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && errno == EAGAIN) {
      if (!await(fd_, POLLIN, end)) return std::nullopt;
    } else {
      ended_ = true;
      return std::nullopt;
    }
  }
}

std::optional<ControlAnswer> ControlClient::readAnswer(double deadline) {
  std::optional<std::string> line = readLine(deadline);
  if (!line) return std::nullopt;
  return ControlCoding::decodeAnswer(*line);
}

}  // namespace meterwright
