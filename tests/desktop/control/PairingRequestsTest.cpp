#include <gtest/gtest.h>

#include <vector>

#include "core/sync/protocol/SyncProtocol.h"
#include "desktop/control/PairingRequests.h"
#include "support/ManualScheduler.h"

namespace meterwright {
namespace {

class PairingRequestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(publisher->start().ok());
    ASSERT_TRUE(publisher->waitUntilReady(10));
  }
  void TearDown() override { publisher->stop(); }

  PairingRequests::EventSender recorder(std::vector<ControlEvent>& into) {
    return [&into](const ControlEvent& event) { into.push_back(event); };
  }

  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<testing::ManualScheduler> scheduler =
      std::make_shared<testing::ManualScheduler>(*clock);
  std::shared_ptr<LocalNetworkPublisher> publisher = std::make_shared<LocalNetworkPublisher>(
      PairingIdentity(Uuid::random(), "Workstation"), clock, nullptr,
      LocalNetworkPublisher::Limits{}, LocalNetworkPublisher::Listening{"127.0.0.1", 0, false});
  PairingRequests requests{publisher, scheduler, clock, "127.0.0.1"};
};

TEST_F(PairingRequestsTest, AnswersWithThePublishersCodeAndTellsEveryWaitingClientOnce) {
  std::vector<ControlEvent> first, second;
  ControlAnswer answer = requests.request(recorder(first));
  ASSERT_TRUE(answer.ok());
  ASSERT_TRUE(answer.invitation);
  const std::string port = std::to_string(*publisher->port());
  EXPECT_EQ(answer.invitation->port, *publisher->port());
  EXPECT_EQ(answer.invitation->link, "meterwright://pair/" + answer.invitation->code);
  EXPECT_EQ(answer.invitation->addresses, std::vector<std::string>{"127.0.0.1:" + port});
  EXPECT_DOUBLE_EQ(answer.invitation->expiresAt,
                   secondsBetween(Date{}, clock->now()) + SyncProtocol::invitationLifetime);

  requests.request(recorder(second));
  requests.devicePaired("Watch");
  const std::vector<ControlEvent> paired{{ControlEventKind::paired, "Watch"}};
  EXPECT_EQ(first, paired);
  EXPECT_EQ(second, paired);
  // Told, they wait no more: neither a second pairing nor the expiry reaches them.
  requests.devicePaired("Phone");
  scheduler->advance(120);
  EXPECT_EQ(first, paired);
  EXPECT_EQ(requests.waiting(), 0u);
}

TEST_F(PairingRequestsTest, AClientIsToldWhenItsCodeExpires) {
  std::vector<ControlEvent> events;
  ASSERT_TRUE(requests.request(recorder(events)).ok());
  scheduler->advance(SyncProtocol::invitationLifetime - 1);
  EXPECT_TRUE(events.empty());
  scheduler->advance(1);
  EXPECT_EQ(events, (std::vector<ControlEvent>{{ControlEventKind::expired, ""}}));
  EXPECT_EQ(requests.waiting(), 0u);
}

TEST_F(PairingRequestsTest, WithoutAListeningPublisherItFailsByKind) {
  publisher->stop();
  std::vector<ControlEvent> events;
  ControlAnswer answer = requests.request(recorder(events));
  ASSERT_TRUE(answer.failure);
  EXPECT_EQ(answer.failure->kind, ControlFailureKind::notListening);
  EXPECT_EQ(requests.waiting(), 0u);
}

}  // namespace
}  // namespace meterwright
