#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/sync/lan/LocalNetworkSubscriber.h"
#include "core/sync/lan/LoopbackSocket.h"
#include "core/sync/lan/RecordingDevice.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/pairing/PairingProof.h"
#include "core/sync/pairing/SubscriberHandshake.h"
#include "core/time/Clock.h"

namespace meterwright {
namespace {

using testing::LoopbackSocket;
using testing::RecordingDevice;
using namespace std::chrono_literals;

const Uuid deviceID = *Uuid::parse("0F8E5A1C-3B2D-4C6E-9A7B-1D2E3F405162");
const Uuid macID = *Uuid::parse("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const PairingCode code{"7K3QH9XWPM"};
const PairingCode otherCode{"ABCDEFGHJK"};

SyncPayload payload() {
  SyncPayload value;
  value.sentAt = dateFromUnixSeconds(1'740'821'400.5);
  value.sourceName = "Studio Mac";
  value.snapshot.generatedAt = dateFromUnixSeconds(1'740'821'400);
  value.metric = Config::Metric::used;
  return value;
}

SyncMessage sealed(const SyncPayload& payload, const SymmetricKey& key) {
  return {EnvelopeSealing::seal(payload, macID, key).value()};
}

// Destroys the subscriber on a thread of its own, so a destructor that hangs fails the test
// instead of stalling the whole run.
bool destroyedWithin(std::unique_ptr<LocalNetworkSubscriber> subscriber) {
  auto finished = std::make_shared<std::promise<void>>();
  std::future<void> done = finished->get_future();
  std::thread([subscriber = std::move(subscriber), finished]() mutable {
    subscriber.reset();
    finished->set_value();
  }).detach();
  return done.wait_for(10s) == std::future_status::ready;
}

// The Mac's end of the connection is played by hand.
class LocalNetworkSubscriberTest : public ::testing::Test {
 protected:
  // Connects with the code; the pair request the Mac then reads.
  std::optional<SyncMessage::PairRequest> startPairing() {
    phone.subscriber->connect("127.0.0.1", mac.port(), code);
    if (!mac.acceptWithin()) return std::nullopt;
    std::optional<SyncMessage> first = mac.readMessage();
    if (!first || !first->as<SyncMessage::PairRequest>()) return std::nullopt;
    return *first->as<SyncMessage::PairRequest>();
  }

  SyncMessage acceptance(const SyncMessage::PairRequest& request,
                         const PairingCode& provenWith) const {
    std::string macKey = macIdentity.publicKeyData();
    return {
        SyncMessage::PairAccepted{2, macID, "Studio Mac", macKey,
                                  PairingProof::acceptance(provenWith, macKey, request.publicKey)}};
  }

  const PairingIdentity device{deviceID, "Anna’s iPhone"};
  const PairingIdentity macIdentity{macID, "Studio Mac"};
  LoopbackSocket mac;
  RecordingDevice phone{device, "ios"};
};

// What each message means is SubscriberHandshakeTest's table; here, what the socket adds.
TEST_F(LocalNetworkSubscriberTest, PairsWithTheCodeThenOpensSnapshotsUnderTheMacsKey) {
  std::optional<SyncMessage::PairRequest> request = startPairing();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(SyncMessage{*request}, SubscriberHandshake::opening(device, "ios", code)[0]);

  SymmetricKey macKey = *macIdentity.sharedKey(request->publicKey, code);
  SyncMessage accepted = acceptance(*request, code);
  ASSERT_TRUE(mac.writeFrame(accepted));
  ASSERT_TRUE(phone.paired.waitFor(1));
  ASSERT_TRUE(mac.writeFrame(sealed(payload(), macKey)));
  ASSERT_TRUE(phone.payloads.waitFor(1));

  phone.subscriber->requestSnapshot();
  std::optional<SyncMessage> asked = mac.readMessage();
  ASSERT_TRUE(asked.has_value());
  EXPECT_TRUE(asked->as<SyncMessage::RequestSnapshot>());

  auto paired = phone.paired.items();
  ASSERT_EQ(paired.size(), 1u);
  EXPECT_EQ(paired[0].first, *accepted.as<SyncMessage::PairAccepted>());
  EXPECT_EQ(paired[0].second, macKey);
  EXPECT_EQ(phone.payloads.items(), std::vector<SyncPayload>{payload()});
  EXPECT_TRUE(phone.errors.items().empty());
  const std::vector<std::thread::id> threads = phone.threads.items();
  for (std::thread::id thread : threads) {
    EXPECT_EQ(thread, threads[0]);
    EXPECT_NE(thread, std::this_thread::get_id());
  }
}

TEST_F(LocalNetworkSubscriberTest, AConfirmationMadeWithAnotherCodeDisconnectsWithoutPairing) {
  std::optional<SyncMessage::PairRequest> request = startPairing();
  ASSERT_TRUE(request.has_value());
  ASSERT_TRUE(mac.writeFrame(acceptance(*request, otherCode)));
  ASSERT_TRUE(phone.errors.waitFor(1));
  EXPECT_TRUE(mac.seesCloseWithin());
  EXPECT_EQ(phone.errors.items(),
            std::vector{SyncError::of(SyncError::Kind::macDidNotProveTheCode)});
  EXPECT_TRUE(phone.paired.items().empty());
}

// Errors that do not close leave the connection and its code in place.
TEST_F(LocalNetworkSubscriberTest, ABadPortOrAnUnusableMacKeyIsReportedAndThePairingStaysOpen) {
  std::optional<SyncMessage::PairRequest> request = startPairing();
  ASSERT_TRUE(request.has_value());
  for (int port : {0, 70000, -1}) {
    phone.subscriber->connect("127.0.0.1", port, otherCode);
    phone.subscriber->reconnect("127.0.0.1", port, SymmetricKey::random());
  }
  ASSERT_TRUE(phone.errors.waitFor(6));
  // An all-zero key is a low-order point: the proof checks out, the shared secret would be zero.
  std::string zeroKey(32, '\0');
  ASSERT_TRUE(mac.writeFrame(
      {SyncMessage::PairAccepted{2, macID, "Studio Mac", zeroKey,
                                 PairingProof::acceptance(code, zeroKey, request->publicKey)}}));
  ASSERT_TRUE(phone.errors.waitFor(7));
  std::vector<SyncError> expected(6, SyncError::transportFailed("Bad port"));
  expected.push_back(SyncError::of(SyncError::Kind::decryptionFailed));
  EXPECT_EQ(phone.errors.items(), expected);

  ASSERT_TRUE(mac.writeFrame(acceptance(*request, code)));
  EXPECT_TRUE(phone.paired.waitFor(1));
}

TEST_F(LocalNetworkSubscriberTest, DisconnectClosesTheSocketAndLaterRequestsSendNothing) {
  phone.subscriber->requestSnapshot();  // no connection yet: nothing to send on, nothing reported
  ASSERT_TRUE(startPairing().has_value());
  phone.subscriber->disconnect();
  phone.subscriber->requestSnapshot();
  // A request written before the close would arrive as a byte instead of the end of the stream.
  EXPECT_TRUE(mac.seesCloseWithin());
  EXPECT_TRUE(phone.errors.items().empty());
}

// The queue is stopped rather than drained: a read waiting for the rest of a 1 MiB frame must not
// hold the destructor up.
TEST_F(LocalNetworkSubscriberTest, DestroyingItMidFrameReturnsPromptlyAndClosesTheSocket) {
  ASSERT_TRUE(startPairing().has_value());
  ASSERT_TRUE(mac.write(std::string("\0\x10\0\0", 4) + "{\"failure\""));
  EXPECT_TRUE(destroyedWithin(std::move(phone.subscriber)));
  EXPECT_TRUE(mac.seesCloseWithin());
}

TEST_F(LocalNetworkSubscriberTest, AListenerThatClosesAtOnceLeavesTheSubscriberUsable) {
  phone.subscriber->connect("127.0.0.1", mac.port(), code);
  ASSERT_TRUE(mac.acceptWithin());
  mac.socket.close();

  std::optional<SyncMessage::PairRequest> request = startPairing();
  ASSERT_TRUE(request.has_value());
  ASSERT_TRUE(mac.writeFrame(acceptance(*request, code)));
  EXPECT_TRUE(phone.paired.waitFor(1));
}

TEST_F(LocalNetworkSubscriberTest, APortNobodyListensOnReportsTheSystemsText) {
  std::uint16_t unused = 0;
  {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    unused = acceptor.local_endpoint().port();
  }
  phone.subscriber->connect("127.0.0.1", unused, code);
  ASSERT_TRUE(phone.errors.waitFor(1));
  EXPECT_EQ(phone.errors.items(),
            std::vector{SyncError::transportFailed(
                asio::error_code(asio::error::connection_refused).message())});
}

}  // namespace
}  // namespace meterwright
