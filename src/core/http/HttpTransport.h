#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace meterwright {

// One HTTP GET as the readers describe it. The transport sends the header fields given here and
// no others of its own (no user agent, no accept field), so what leaves the machine is exactly
// what the reader wrote down.
struct HttpRequest {
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  // The request's own time-out, seconds. The caller's deadline still wins when it is shorter.
  double timeoutSeconds = 60;
  // The most body bytes kept; a longer body is abandoned rather than buffered.
  std::size_t bodyLimit = 4 * 1024 * 1024;

  bool operator==(const HttpRequest&) const = default;
};

struct HttpResponse {
  enum class Outcome {
    // A whole response arrived; `status` and `body` hold it.
    completed,
    // No usable response: the connection, TLS or protocol failed, or the URL was refused.
    failed,
    // The caller's deadline passed first. Nothing of the request outlives the call.
    timedOut,
    // The body passed the request's `bodyLimit`; `status` is the one the server sent.
    bodyTooLarge,
  };

  Outcome outcome = Outcome::failed;
  // The HTTP status code, 0 when no HTTP response arrived.
  int status = 0;
  std::string body;

  bool operator==(const HttpResponse&) const = default;
};

// The network as the readers see it. `get` blocks the calling thread for at most
// `deadlineSeconds` and keeps nothing of the request once it returns. Safe to call from several
// threads at once.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual HttpResponse get(const HttpRequest& request, double deadlineSeconds) = 0;
};

}  // namespace meterwright
