#include "support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace meterwright::testing {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often a trickling body sends its next few bytes.
constexpr int trickleMilliseconds = 50;
constexpr std::size_t requestLimit = 64 * 1024;

std::string reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

std::string trimmed(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return "";
  size_t end = text.find_last_not_of(" \t");
  return std::string(text.substr(start, end - start + 1));
}

std::optional<LoopbackHttpServer::Request> parseRequest(std::string_view head) {
  LoopbackHttpServer::Request request;
  size_t lineEnd = head.find("\r\n");
  std::string_view line = head.substr(0, lineEnd);
  size_t first = line.find(' ');
  size_t second = line.rfind(' ');
  if (first == std::string_view::npos || second == first) return std::nullopt;
  request.method = std::string(line.substr(0, first));
  request.target = std::string(line.substr(first + 1, second - first - 1));
  request.version = std::string(line.substr(second + 1));
  while (lineEnd != std::string_view::npos && lineEnd + 2 < head.size()) {
    size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string_view field = head.substr(start, lineEnd - start);
    if (field.empty()) break;
    size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(field.substr(0, colon)),
                                 trimmed(field.substr(colon + 1)));
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
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  reply.headers = {{"Content-Type", std::move(contentType)}};
  return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::delayed(double seconds, int status,
                                                      std::string body) {
  Reply reply = answer(status, std::move(body));
  reply.delay = seconds;
  return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::silence() {
  Reply reply;
  reply.kind = Reply::Kind::silence;
  return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::endlessBody() {
  Reply reply;
  reply.kind = Reply::Kind::endlessBody;
  reply.headers = {{"Content-Type", "application/json"}};
  return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::truncatedBody(std::string body,
                                                            std::size_t declaredLength) {
  Reply reply = answer(200, std::move(body));
  reply.kind = Reply::Kind::truncatedBody;
  reply.declaredLength = declaredLength;
  return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::closeAtOnce() {
  Reply reply;
  reply.kind = Reply::Kind::closeAtOnce;
  return reply;
}

LoopbackHttpServer::LoopbackHttpServer() : reply_(answer(404, "")) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];

  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("could not listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  char stop = 1;
  (void)!::write(wakeWrite_, &stop, 1);
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
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

void LoopbackHttpServer::serve() {
  for (;;) {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    if (watched[0].revents & POLLIN) {
      int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      handle(connection);
      ::close(connection);
    }
  }
}

bool LoopbackHttpServer::waitWhileConnected(int connection, double seconds) {
  auto deadline =
      SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                               std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
  for (;;) {
    int timeout = -1;
    if (seconds >= 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) return true;
      timeout = static_cast<int>(left.count());
    }
    pollfd watched[2] = {{connection, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int ready = ::poll(watched, 2, timeout);
    if (ready < 0 && errno != EINTR) return false;
    if (watched[1].revents != 0) return false;
    if (watched[0].revents != 0) {
      char scratch[4096];
      ssize_t count = ::recv(connection, scratch, sizeof scratch, MSG_DONTWAIT);
      if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) return false;
    }
  }
}

bool LoopbackHttpServer::sendAll(int connection, std::string_view bytes) {
  while (!bytes.empty()) {
    pollfd watched[2] = {{connection, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (watched[1].revents != 0) return false;
    if (watched[0].revents & (POLLERR | POLLHUP)) return false;
    ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void LoopbackHttpServer::handle(int connection) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (head.size() > requestLimit) return;
    pollfd watched[2] = {{connection, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    char buffer[4096];
    ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0) return;
    head.append(buffer, static_cast<size_t>(count));
  }
  Reply reply;
  {
    std::lock_guard guard(mutex_);
    if (auto request = parseRequest(head)) requests_.push_back(std::move(*request));
    reply = reply_;
  }

  switch (reply.kind) {
    case Reply::Kind::closeAtOnce:
      return;
    case Reply::Kind::silence:
      waitWhileConnected(connection, -1);
      return;
    case Reply::Kind::answer:
    case Reply::Kind::truncatedBody:
    case Reply::Kind::endlessBody:
      break;
  }
  if (reply.delay > 0 && !waitWhileConnected(connection, reply.delay)) return;

  std::string response =
      "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
  for (const auto& [name, value] : reply.headers) response += name + ": " + value + "\r\n";
  if (reply.kind == Reply::Kind::endlessBody) {
    response += "Transfer-Encoding: chunked\r\n";
  } else {
    size_t length =
        reply.kind == Reply::Kind::truncatedBody ? reply.declaredLength : reply.body.size();
    response += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  response += "Connection: close\r\n\r\n";
  if (reply.kind != Reply::Kind::endlessBody) response += reply.body;
  if (!sendAll(connection, response)) return;

  if (reply.kind == Reply::Kind::truncatedBody) {
    waitWhileConnected(connection, -1);
  } else if (reply.kind == Reply::Kind::endlessBody) {
    // A few bytes at a time, so the client's deadline ends it rather than its size bound.
    if (!sendAll(connection, "1\r\n{\r\n")) return;
    while (waitWhileConnected(connection, trickleMilliseconds / 1000.0)) {
      if (!sendAll(connection, "1\r\n \r\n")) return;
    }
  }
}

}  // namespace meterwright::testing
