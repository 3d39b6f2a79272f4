#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace meterwright::testing {

// A real HTTP/1.1 server on 127.0.0.1 (a free port), on a thread of its own, standing in for a web
// endpoint. Connections are served one at a time and closed after each reply. Replies that wait
// end as soon as the client hangs up or the server is destroyed, so a test never waits for it.
class LoopbackHttpServer {
 public:
  struct Reply {
    enum class Kind { answer, silence, endlessBody, closeAtOnce };
    Kind kind = Kind::answer;
    int status = 200;
    std::string body{};
    // Sent after the status line; Content-Length and Connection are added by the server.
    std::vector<std::pair<std::string, std::string>> headers{};
  };

  static Reply answer(int status, std::string body, std::string contentType = "application/json");
  // Reads the request and never answers.
  static Reply silence() { return {.kind = Reply::Kind::silence}; }
  // A 200 whose chunked body trickles in forever.
  static Reply endlessBody() { return {.kind = Reply::Kind::endlessBody}; }
  // Reads the request and closes the connection without a word.
  static Reply closeAtOnce() { return {.kind = Reply::Kind::closeAtOnce}; }

  struct Request {
    std::string method;
    std::string target;
    // In the order received, names as the client spelled them.
    std::vector<std::pair<std::string, std::string>> headers{};

    // The first field of that name, compared ignoring case.
    std::optional<std::string> header(std::string_view name) const;
  };

  // Listening when constructed; replies answer(404, "") until told otherwise.
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  void respondWith(Reply reply);
  // Requests arriving from now on are counted but not answered until release(), or until the
  // client hangs up: a request in flight for as long as a test needs.
  void hold();
  void release();
  int port() const { return port_; }
  std::string url(std::string_view path = "/api/oauth/usage") const;
  std::vector<Request> requests() const;

 private:
  void serve();
  void handle(int connection);
  // False when the connection ended (the client hung up or the server is stopping) before
  // `seconds` (< 0: never) passed.
  bool waitWhileConnected(int connection, double seconds);
  bool sendAll(int connection, std::string_view bytes);

  int listener_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  // The connection being served, shut down by the destructor to end any wait on it.
  int connection_ = -1;
  bool stopping_ = false;
  bool holding_ = false;
  Reply reply_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace meterwright::testing
