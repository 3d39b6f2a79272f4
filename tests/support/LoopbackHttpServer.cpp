#include "support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace meterwright::testing {

namespace {

using SteadyClock = std::chrono::steady_clock;

LoopbackHttpServer::Request parseRequest(std::string_view head) {
  LoopbackHttpServer::Request request;
  size_t lineEnd = head.find("\r\n");
  std::string_view line = head.substr(0, lineEnd);
  size_t first = line.find(' '), second = line.rfind(' ');
  request.method = std::string(line.substr(0, first));
  if (first != std::string_view::npos && second > first) {
    request.target = std::string(line.substr(first + 1, second - first - 1));
  }
  while (lineEnd != std::string_view::npos && lineEnd + 2 < head.size()) {
    size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string_view field = head.substr(start, lineEnd - start);
    size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view value = field.substr(colon + 1);
    value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t")));
    request.headers.emplace_back(field.substr(0, colon),
                                 value.substr(0, value.find_last_not_of(" \t") + 1));
  }
  return request;
}

}  // namespace

std::optional<std::string> LoopbackHttpServer::Request::header(std::string_view name) const {
  for (const auto& [field, value] : headers) {
    if (field.size() == name.size() && strncasecmp(field.data(), name.data(), name.size()) == 0) {
      return value;
    }
  }
  return std::nullopt;
}

LoopbackHttpServer::Reply LoopbackHttpServer::answer(int status, std::string body,
                                                     std::string contentType) {
  return {.status = status, .body = std::move(body), .headers = {{"Content-Type", contentType}}};
}

LoopbackHttpServer::LoopbackHttpServer() : reply_(answer(404, "")) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("could not listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    if (connection_ >= 0) ::shutdown(connection_, SHUT_RDWR);
  }
  // On Linux this also ends a blocked accept().
  ::shutdown(listener_, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
}

void LoopbackHttpServer::respondWith(Reply reply) {
  std::lock_guard guard(mutex_);
  reply_ = std::move(reply);
}

std::string LoopbackHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

void LoopbackHttpServer::hold() {
  std::lock_guard guard(mutex_);
  holding_ = true;
}

void LoopbackHttpServer::release() {
  std::lock_guard guard(mutex_);
  holding_ = false;
}

void LoopbackHttpServer::serve() {
  for (;;) {
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    {
      std::lock_guard guard(mutex_);
      if (stopping_) {
        if (connection >= 0) ::close(connection);
        return;
      }
      connection_ = connection;
    }
    if (connection < 0) continue;
    handle(connection);
    std::lock_guard guard(mutex_);
    connection_ = -1;
    ::close(connection);
  }
}

bool LoopbackHttpServer::waitWhileConnected(int connection, double seconds) {
  auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                           std::chrono::duration<double>(seconds));
  for (;;) {
    int timeout = -1;
    if (seconds >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) return true;
      timeout = static_cast<int>(left.count());
    }
    pollfd watched{connection, POLLIN, 0};
    int ready = ::poll(&watched, 1, timeout);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char scratch[4096];
    ssize_t count = ::recv(connection, scratch, sizeof scratch, MSG_DONTWAIT);
    if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) return false;
  }
}

bool LoopbackHttpServer::sendAll(int connection, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void LoopbackHttpServer::handle(int connection) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    char buffer[4096];
    ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0 || head.size() > 64 * 1024) return;
    head.append(buffer, static_cast<size_t>(count));
  }
  Reply reply;
  {
    std::lock_guard guard(mutex_);
    requests_.push_back(parseRequest(head.substr(0, head.find("\r\n\r\n") + 2)));
    reply = reply_;
  }
  auto held = [this] {
    std::lock_guard guard(mutex_);
    return holding_ && !stopping_;
  };
  while (held()) {
    if (!waitWhileConnected(connection, 0.01)) return;
  }
  if (reply.kind == Reply::Kind::closeAtOnce) return;
  if (reply.kind == Reply::Kind::silence) {
    waitWhileConnected(connection, -1);
    return;
  }

  bool endless = reply.kind == Reply::Kind::endlessBody;
  std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " Reply\r\n";
  for (const auto& [name, value] : reply.headers) response += name + ": " + value + "\r\n";
  response += endless ? "Transfer-Encoding: chunked\r\n"
                      : "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  response += "Connection: close\r\n\r\n" + (endless ? "1\r\n{\r\n" : reply.body);
  if (!sendAll(connection, response) || !endless) return;
  // A byte at a time, so the client's deadline ends it rather than its size bound.
  while (waitWhileConnected(connection, 0.05) && sendAll(connection, "1\r\n \r\n")) {
  }
}

}  // namespace meterwright::testing
