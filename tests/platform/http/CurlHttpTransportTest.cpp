#include <gtest/gtest.h>

#include <string>

#include "platform/http/CurlHttpTransport.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProcessChecks.h"

namespace meterwright {
namespace {

using testing::LoopbackHttpServer;
using Outcome = HttpResponse::Outcome;

class CurlHttpTransportTest : public ::testing::Test {
 protected:
  HttpResponse get(LoopbackHttpServer::Reply reply, std::size_t bodyLimit = 1000) {
    server.respondWith(std::move(reply));
    HttpRequest request{server.url(), {}};
    request.bodyLimit = bodyLimit;
    return transport.get(request, 5);
  }

  LoopbackHttpServer server;
  CurlHttpTransport transport;
};

TEST_F(CurlHttpTransportTest, HandsBackStatusAndBodyOfAnyAnswerWithinTheBodyLimitAndNoRedirect) {
  EXPECT_EQ(get(LoopbackHttpServer::answer(403, "denied", "text/plain")),
            (HttpResponse{Outcome::completed, 403, "denied"}));
  std::string limit(1000, 'x');
  EXPECT_EQ(get(LoopbackHttpServer::answer(200, limit)),
            (HttpResponse{Outcome::completed, 200, limit}));
  EXPECT_EQ(get(LoopbackHttpServer::answer(500, limit + "x")),
            (HttpResponse{Outcome::bodyTooLarge, 500, ""}));
  EXPECT_EQ(get(LoopbackHttpServer::closeAtOnce()), (HttpResponse{Outcome::failed, 0, ""}));
  // A redirect is handed back, not followed.
  auto reply = LoopbackHttpServer::answer(302, "");
  reply.headers.emplace_back("Location", server.url("/elsewhere"));
  std::size_t asked = server.requests().size();
  EXPECT_EQ(get(reply).status, 302);
  EXPECT_EQ(server.requests().size(), asked + 1);
}

TEST_F(CurlHttpTransportTest, URLsOtherThanHttpAreRefusedWithoutTouchingThem) {
  for (std::string url : {"file:///etc/hostname", "ftp://127.0.0.1/", "not a url", ""}) {
    EXPECT_EQ(transport.get(HttpRequest{url, {}}, 5), (HttpResponse{Outcome::failed, 0, ""}))
        << url;
  }
}

TEST_F(CurlHttpTransportTest, TheRequestTimeOutEndsAStallWhenShorterThanTheDeadline) {
  server.respondWith(LoopbackHttpServer::silence());
  HttpRequest quick{server.url(), {}};
  quick.timeoutSeconds = 0.2;
  HttpResponse response;
  EXPECT_LT(testing::ProcessChecks::secondsTaken([&] { response = transport.get(quick, 30); }),
            2.0);
  EXPECT_EQ(response.outcome, Outcome::failed);
}

}  // namespace
}  // namespace meterwright
