#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace meterwright::testing {

// A real HTTP/1.1 server on 127.0.0.1 (a free port), running on a thread of its own, that stands
// in for a web endpoint in tests. Each test scripts how it replies and afterwards checks exactly
// what the client sent:
//
//   LoopbackHttpServer server;
//   server.respondWith(LoopbackHttpServer::answer(200, R"({"five_hour": …})"));
//   environment.set("METERWRIGHT_CLAUDE_USAGE_URL", server.url());
//   … run the client …
//   EXPECT_EQ(server.requests().at(0).header("anthropic-beta"), "oauth-2025-04-20");
//
// Connections are served one at a time and closed after each reply. Replies that wait (silence,
// a delay, a body that never ends) end as soon as the client hangs up or the server is destroyed,
// so a test never waits for the server.
class LoopbackHttpServer {
 public:
  struct Reply {
    enum class Kind {
      // The status, header fields and body, after `delay` seconds.
      answer,
      // Reads the request and never answers.
      silence,
      // A 200 whose chunked body trickles in forever.
      endlessBody,
      // Declares `declaredLength` body bytes, sends `body` (fewer) and then nothing more.
      truncatedBody,
      // Reads the request and closes the connection without a word.
      closeAtOnce,
    };
    Kind kind = Kind::answer;
    int status = 200;
    std::string body;
    // Sent after the status line; Content-Length and Connection are added by the server.
    std::vector<std::pair<std::string, std::string>> headers;
    double delay = 0;
    std::size_t declaredLength = 0;
  };

  static Reply answer(int status, std::string body, std::string contentType = "application/json");
  static Reply delayed(double seconds, int status, std::string body);
  static Reply silence();
  static Reply endlessBody();
  static Reply truncatedBody(std::string body, std::size_t declaredLength);
  static Reply closeAtOnce();

  // One request as it arrived.
  struct Request {
    std::string method;
    std::string target;
    std::string version;
    // In the order received, names as the client spelled them.
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first field of that name, compared ignoring case.
    std::optional<std::string> header(std::string_view name) const;
  };

  // Listening when constructed; replies answer(404, "") until told otherwise.
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // How every following request is answered.
  void respondWith(Reply reply);

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path = "/api/oauth/usage") const;

  // Every request received so far, oldest first.
  std::vector<Request> requests() const;

 private:
  void serve();
  void handle(int connection);
  // False when the server is stopping or the client hung up before `seconds` passed.
  bool waitWhileConnected(int connection, double seconds);
  bool sendAll(int connection, std::string_view bytes);

  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  Reply reply_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace meterwright::testing
