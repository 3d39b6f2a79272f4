#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/http/CurlHttpTransport.h"
#include "support/LoopbackHttpServer.h"

namespace meterwright {
namespace {

using testing::LoopbackHttpServer;
using Outcome = HttpResponse::Outcome;

// Seconds a call took, to check it kept to its deadline. Generous upper margins: the suites run
// under sanitizers on a shared machine.
template <typename Call>
double timed(Call call) {
  auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class CurlHttpTransportTest : public ::testing::Test {
 protected:
  HttpRequest request(std::vector<std::pair<std::string, std::string>> headers = {}) {
    HttpRequest result;
    result.url = server.url("/api/oauth/usage");
    result.headers = std::move(headers);
    return result;
  }

  LoopbackHttpServer server;
  CurlHttpTransport transport;
};

TEST_F(CurlHttpTransportTest, HandsBackStatusAndBodyOfAnyAnswer) {
  for (int status : {200, 401, 403, 429, 500}) {
    std::string body = "body of " + std::to_string(status);
    server.respondWith(LoopbackHttpServer::answer(status, body, "text/plain"));
    EXPECT_EQ(transport.get(request(), 5), (HttpResponse{Outcome::completed, status, body}));
  }
}

TEST_F(CurlHttpTransportTest, DoesNotFollowRedirects) {
  auto reply = LoopbackHttpServer::answer(302, "");
  reply.headers.emplace_back("Location", server.url("/elsewhere"));
  server.respondWith(reply);
  EXPECT_EQ(transport.get(request(), 5).status, 302);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(CurlHttpTransportTest, AConnectionClosedWithoutAnAnswerHasNoStatus) {
  server.respondWith(LoopbackHttpServer::closeAtOnce());
  EXPECT_EQ(transport.get(request(), 5), (HttpResponse{Outcome::failed, 0, ""}));
}

TEST_F(CurlHttpTransportTest, URLsOtherThanHttpAreRefusedWithoutTouchingThem) {
  for (std::string url : {"file:///etc/hostname", "ftp://127.0.0.1/", "not a url", ""}) {
    HttpRequest fileRequest;
    fileRequest.url = url;
    EXPECT_EQ(transport.get(fileRequest, 5), (HttpResponse{Outcome::failed, 0, ""})) << url;
  }
}

TEST_F(CurlHttpTransportTest, TheRequestTimeOutEndsAStallWhenShorterThanTheDeadline) {
  server.respondWith(LoopbackHttpServer::silence());
  HttpRequest quick = request();
  quick.timeoutSeconds = 0.2;
  HttpResponse response;
  double seconds = timed([&] { response = transport.get(quick, 30); });
  EXPECT_EQ(response.outcome, Outcome::failed);
  EXPECT_LT(seconds, 2.0);
}

TEST_F(CurlHttpTransportTest, ABodyPastTheLimitIsAbandonedKeepingItsStatus) {
  HttpRequest bounded = request();
  bounded.bodyLimit = 1000;
  server.respondWith(LoopbackHttpServer::answer(200, std::string(1000, 'x')));
  EXPECT_EQ(transport.get(bounded, 5),
            (HttpResponse{Outcome::completed, 200, std::string(1000, 'x')}));
  server.respondWith(LoopbackHttpServer::answer(500, std::string(1001, 'x')));
  EXPECT_EQ(transport.get(bounded, 5), (HttpResponse{Outcome::bodyTooLarge, 500, ""}));
}

}  // namespace
}  // namespace meterwright
