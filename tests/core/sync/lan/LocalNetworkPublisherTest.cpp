#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/sync/SyncCoordinator.h"
#include "core/sync/lan/ConnectionCrowd.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/lan/LoopbackSocket.h"
#include "core/sync/lan/RecordingDevice.h"
#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/pairing/SubscriberHandshake.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/sync/protocol/SyncFraming.h"
#include "core/usage/SampleSnapshot.h"
#include "support/ManualClock.h"
#include "support/MemorySecretStore.h"

namespace meterwright {
namespace {

using namespace std::chrono_literals;
using testing::ConnectionCrowd;
using testing::Journal;
using testing::LoopbackSocket;
using testing::RecordingDevice;
using Reason = SyncMessage::Failure::Reason;

SyncPayload payload(int number) {
  SyncPayload value;
  value.sentAt = addingSeconds(testing::sampleTime, number);
  value.sourceName = "Studio Mac";
  value.snapshot = testing::sampleSnapshot();
  value.providers = {ProviderConfig{"claude", "Claude", true, {300}, "sparkle", "#D97757", 300}};
  return value;
}

// A device's first message, as a real one writes it: a pair request proving `code`, or a hello.
SyncMessage opening(const PairingIdentity& device, std::optional<PairingCode> code = {}) {
  return SubscriberHandshake::opening(device, "linux", code)[0];
}

PairingIdentity tablet() {
  return PairingIdentity(Uuid::random(), "Tablet");
}

// An envelope the test recognises when it arrives; the publisher only passes envelopes on.
SyncEnvelope marker(const std::string& mark) {
  return {2, Uuid{}, mark};
}

// The case of a message, or a refusal's reason (which must come with its standard detail), so
// mismatches read well.
std::string summary(const std::optional<SyncMessage>& message) {
  if (!message) return "nothing";
  const auto* failure = message->as<SyncMessage::Failure>();
  if (!failure) return std::string(message->caseName());
  if (!failure->reason || *failure != SyncMessage::Failure::standard(*failure->reason)) {
    return "failure: " + failure->detail;
  }
  return std::string(SyncMessage::Failure::toString(*failure->reason));
}

class LocalNetworkPublisherTest : public ::testing::Test {
 protected:
  void SetUp() override { startWith({}); }

  void startWith(LocalNetworkPublisher::Limits limits) {
    publisher.reset();
    publisher = std::make_shared<LocalNetworkPublisher>(mac, clock, nullptr, limits);
    publisher->onPairingCompleted = [this](const PairedDevice& device, const SymmetricKey& key) {
      pairings.add({device, key});
    };
    publisher->onDevicePaired = [this](const PairedDevice& device) { devicesPaired.add(device); };
    publisher->onError = [this](const SyncError& error) { errors.add(error); };
    publisher->keyForDevice = [this](const Uuid& id) -> std::optional<SymmetricKey> {
      std::lock_guard guard(storedKeysMutex);
      auto found = storedKeys.find(id);
      if (found == storedKeys.end()) return std::nullopt;
      return found->second;
    };
    ASSERT_TRUE(publisher->start(0, false).ok());
    ASSERT_TRUE(publisher->waitUntilReady(10));
  }

  std::uint16_t port() const { return publisher->port().value_or(0); }

  PairingCode invite() {
    invitation = publisher->makeInvitation(60);
    return invitation.code;
  }

  // A device known to the store from an earlier run.
  SymmetricKey store(const PairingIdentity& device) {
    SymmetricKey key = SymmetricKey::random();
    std::lock_guard guard(storedKeysMutex);
    storedKeys[device.deviceID()] = key;
    return key;
  }

  // A raw device that has said hello and been welcomed; nothing else is read.
  std::unique_ptr<LoopbackSocket> welcomed(const PairingIdentity& device) {
    auto socket = std::make_unique<LoopbackSocket>(port());
    EXPECT_TRUE(socket->writeFrame(opening(device)));
    EXPECT_EQ(summary(socket->readMessage()), "welcomeBack");
    return socket;
  }

  // A device known to the store from an earlier run, welcomed back.
  std::unique_ptr<LoopbackSocket> returning(const PairingIdentity& device) {
    store(device);
    return welcomed(device);
  }

  // What `socket` is answered to `message`.
  static std::string answer(LoopbackSocket& socket, const SyncMessage& message) {
    EXPECT_TRUE(socket.writeFrame(message));
    return summary(socket.readMessage());
  }

  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  PairingIdentity mac{Uuid::random(), "Studio Mac"};
  const PairingIdentity phone{Uuid::random(), "Phone"};
  PairingInvitation invitation;
  std::mutex storedKeysMutex;
  std::map<Uuid, SymmetricKey> storedKeys;
  Journal<std::pair<PairedDevice, SymmetricKey>> pairings;
  Journal<PairedDevice> devicesPaired;
  Journal<SyncError> errors;
  std::shared_ptr<LocalNetworkPublisher> publisher;  // last: its callbacks use the fields above
};

// Which answer for which message is PublisherHandshakeTest's table; here, what the socket adds.
TEST_F(LocalNetworkPublisherTest, PairingAgreesOnOneKeyAndTheDeviceOpensTheRetainedPayload) {
  publisher->retain(payload(1));
  RecordingDevice tablet("Anna’s Tablet");
  tablet.subscriber->connect("127.0.0.1", port(), invite());

  ASSERT_TRUE(tablet.payloads.waitFor(1));
  ASSERT_TRUE(devicesPaired.waitFor(1));
  ASSERT_EQ(pairings.size(), 1u);
  auto [device, macKey] = pairings.items()[0];
  EXPECT_EQ(tablet.paired.items()[0].second, macKey);
  EXPECT_EQ(tablet.payloads.items()[0], payload(1));
  const PairedDevice expected{tablet.id(), "Anna’s Tablet", "linux", clock->now(), clock->now()};
  EXPECT_EQ(device, expected);
  EXPECT_EQ(devicesPaired.items(), std::vector<PairedDevice>{expected});
  EXPECT_EQ(publisher->pairedDevices(), std::vector<PairedDevice>{expected});
  EXPECT_TRUE(tablet.errors.items().empty());
}

TEST_F(LocalNetworkPublisherTest, AWrongGuessIsRefusedClosedAndUsesUpTheCode) {
  PairingCode guess = invite();
  guess.value[0] = guess.value[0] == '0' ? '1' : '0';
  LoopbackSocket guesser(port());
  EXPECT_EQ(answer(guesser, opening(tablet(), guess)), "codeWrong");
  EXPECT_TRUE(guesser.seesCloseWithin());
  EXPECT_TRUE(publisher->pairedDevices().empty());
  LoopbackSocket late(port());
  EXPECT_EQ(answer(late, opening(tablet(), invitation.code)), "codeNoLongerValid");
}

TEST_F(LocalNetworkPublisherTest, ASnapshotRequestIsAnsweredOnlyOnAPairedConnection) {
  SymmetricKey key = store(phone);
  auto device = welcomed(phone);
  publisher->retain(payload(2));

  LoopbackSocket stranger(port());
  ASSERT_TRUE(stranger.writeFrame({SyncMessage::RequestSnapshot{}}));
  // The refusal provoked next must be the first thing to arrive.
  EXPECT_EQ(answer(stranger, opening(tablet())), "deviceNotRecognised");

  ASSERT_TRUE(device->writeFrame({SyncMessage::RequestSnapshot{}}));
  std::optional<SyncMessage> snapshot = device->readMessage();
  ASSERT_EQ(summary(snapshot), "snapshot");
  SyncResult<SyncPayload> opened = EnvelopeSealing::open(*snapshot->as<SyncEnvelope>(), key);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value(), payload(2));
}

// A device's envelopes go to its latest connection: a second hello takes over from the first and
// revoking closes it.
TEST_F(LocalNetworkPublisherTest, SendReachesEachListedDevicesLatestConnectionUntilRevoked) {
  PairingIdentity watch(Uuid::random(), "Watch");
  PairingIdentity offline(Uuid::random(), "Offline Tablet");
  store(offline);
  auto firstPhoneSocket = returning(phone);
  auto phoneSocket = welcomed(phone);
  auto watchSocket = returning(watch);
  EXPECT_TRUE(firstPhoneSocket->seesCloseWithin());

  publisher->send(marker("phone"), {phone.deviceID(), offline.deviceID()});
  publisher->send(marker("watch"), {watch.deviceID()});
  EXPECT_EQ(phoneSocket->readMessage(), SyncMessage{marker("phone")});
  EXPECT_EQ(watchSocket->readMessage(), SyncMessage{marker("watch")});
  EXPECT_TRUE(devicesPaired.waitFor(3));
  EXPECT_EQ(publisher->pairedDevices().size(), 2u);
  EXPECT_TRUE(pairings.items().empty());

  publisher->revoke(phone.deviceID());
  EXPECT_TRUE(phoneSocket->seesCloseWithin());
  ASSERT_EQ(publisher->pairedDevices().size(), 1u);
  EXPECT_EQ(publisher->pairedDevices()[0].id, watch.deviceID());
  publisher->send(marker("both"), {phone.deviceID(), watch.deviceID()});
  EXPECT_EQ(watchSocket->readMessage(), SyncMessage{marker("both")});
  EXPECT_TRUE(errors.items().empty());
}

TEST_F(LocalNetworkPublisherTest, MalformedInputAndAFailureFromADeviceReachOnError) {
  LoopbackSocket garbage(port());
  ASSERT_TRUE(garbage.write(*SyncFraming::frame(R"({"bogus":{}})")));
  EXPECT_TRUE(garbage.seesCloseWithin());
  const SyncMessage::Failure failure{Reason::codeWrong, "Typed it wrong"};
  LoopbackSocket complaining(port());
  ASSERT_TRUE(complaining.writeFrame({failure}));

  ASSERT_TRUE(errors.waitFor(2));
  EXPECT_EQ(errors.items(),
            (std::vector<SyncError>{SyncError::malformedMessage(), SyncError::refused(failure)}));
}

// A stranger is cut off at a large frame's prefix, before the publisher holds any of its body; a
// recognised device may send and receive frames of the protocol's limit.
TEST_F(LocalNetworkPublisherTest, OnlyARecognisedDeviceMayExchangeLargeFrames) {
  LoopbackSocket stranger(port());
  ASSERT_TRUE(stranger.write(std::string("\x00\x01\x00\x00", 4)));  // 64 KiB announced
  EXPECT_TRUE(stranger.seesCloseWithin());
  ASSERT_TRUE(errors.waitFor(1));
  EXPECT_EQ(errors.items()[0], SyncError::malformedMessage());

  // Sent right behind the hello, before the welcome: the hello lifts the bound for what follows.
  store(phone);
  SyncMessage::Failure largest{Reason::codeWrong, ""};
  largest.detail.assign(SyncFraming::maximumMessageBytes - SyncCoding::encode({largest})->size(),
                        'x');
  const std::string largestFrame = SyncFraming::encode({largest}).value();
  ASSERT_EQ(largestFrame.size(), SyncFraming::prefixBytes + SyncFraming::maximumMessageBytes);
  LoopbackSocket device(port());
  ASSERT_TRUE(device.write(SyncFraming::encode(opening(phone)).value() + largestFrame));
  EXPECT_EQ(summary(device.readMessage()), "welcomeBack");
  ASSERT_TRUE(errors.waitFor(2));
  EXPECT_EQ(errors.items()[1], SyncError::refused(largest));

  const SyncEnvelope large{2, Uuid{}, std::string(700 * 1024, 'y')};
  publisher->send(large, {phone.deviceID()});
  EXPECT_EQ(device.readMessage(), SyncMessage{large});
}

TEST_F(LocalNetworkPublisherTest, ThePortExistsOnlyWhileListeningAndStopClosesEveryConnection) {
  LocalNetworkPublisher second(mac, clock, nullptr);
  EXPECT_EQ(second.port(), std::nullopt);
  SyncResult<void> busy = second.start(port(), false);
  ASSERT_FALSE(busy.ok());
  EXPECT_EQ(busy.error().kind, SyncError::Kind::transportFailed);
  EXPECT_FALSE(busy.error().text.empty());
  EXPECT_EQ(second.port(), std::nullopt);

  auto device = returning(phone);
  const std::uint16_t was = port();
  publisher->stop();
  EXPECT_EQ(publisher->port(), std::nullopt);
  EXPECT_TRUE(device->seesCloseWithin());
  EXPECT_FALSE(LoopbackSocket(was).isConnected());

  // The keys of this run survive a stop: the store is not asked again.
  {
    std::lock_guard guard(storedKeysMutex);
    storedKeys.clear();
  }
  ASSERT_TRUE(publisher->start(0, false).ok());
  ASSERT_TRUE(publisher->waitUntilReady(10));
  welcomed(phone);
}

// Whether a TCP connection to `address` (IPv4) at `port` is accepted; loopback answers at once.
bool connects(const char* address, std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  ::inet_pton(AF_INET, address, &target.sin_addr);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
  ::close(fd);
  return connected;
}

// 127.0.0.2 is loopback too, so a listener bound to every interface would answer both.
TEST_F(LocalNetworkPublisherTest, AGivenAddressIsTheOnlyOneListenedOn) {
  LocalNetworkPublisher one(mac, clock, nullptr, {}, {.address = "127.0.0.2", .advertise = false});
  ASSERT_TRUE(one.start().ok());
  ASSERT_TRUE(one.waitUntilReady(10));
  EXPECT_TRUE(connects("127.0.0.2", *one.port()));
  EXPECT_FALSE(connects("127.0.0.1", *one.port()));

  LocalNetworkPublisher nowhere(mac, clock, nullptr, {}, {.address = "my laptop"});
  SyncResult<void> refused = nowhere.start();
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind, SyncError::Kind::transportFailed);
}

TEST_F(LocalNetworkPublisherTest, DetachedCallbacksAreNotCalledAgain) {
  publisher->detachCallbacks();
  RecordingDevice watch("Watch");
  watch.subscriber->connect("127.0.0.1", port(), invite());
  ASSERT_TRUE(watch.paired.waitFor(1));
  // stop() runs on the queue after the pairing's handling, callbacks included, has finished.
  publisher->stop();
  EXPECT_EQ(publisher->pairedDevices().size(), 1u);
  EXPECT_TRUE(pairings.items().empty());
  EXPECT_TRUE(devicesPaired.items().empty());
}

// Holds every free descriptor of the process, so the next accept fails for want of one.
class DescriptorHog {
 public:
  static rlim_t openDescriptors() {
    auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<rlim_t>(std::distance(entries, std::filesystem::directory_iterator()));
  }

  DescriptorHog() {
    getrlimit(RLIMIT_NOFILE, &original_);
    rlimit tight = original_;
    // A low soft limit keeps filling the table cheap on systems that allow millions. The count's
    // own directory descriptor is closed again before the table fills, so no slot is left over.
    tight.rlim_cur = std::min<rlim_t>(original_.rlim_cur, openDescriptors() + 64);
    setrlimit(RLIMIT_NOFILE, &tight);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held_.push_back(fd);
  }
  // The limit goes back up before anything is closed: the publisher may accept as soon as one
  // descriptor is free, and the sanitizers' own checks need a few more at that moment.
  ~DescriptorHog() {
    setrlimit(RLIMIT_NOFILE, &original_);
    for (int fd : held_) ::close(fd);
  }

  bool isFull() const { return !held_.empty(); }

 private:
  rlimit original_{};
  std::vector<int> held_;
};

TEST_F(LocalNetworkPublisherTest, AFullDescriptorTableIsReportedAndTheListenerRecovers) {
  // Made before the table fills: connecting needs no new descriptor, so the kernel completes the
  // connection and only the publisher's accept finds no room.
  int waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(waiting, 0);
  {
    DescriptorHog hog;
    ASSERT_TRUE(hog.isFull());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(errors.waitForItem(SyncError::transportFailed("Too many open files")));
  }
  // With descriptors free again the waiting connection is taken and real devices are served.
  returning(phone);
  ::close(waiting);
}

TEST_F(LocalNetworkPublisherTest, AnIdleConnectionIsClosedAfterThePendingTimeout) {
  startWith({200ms, 4});
  auto device = returning(phone);

  LoopbackSocket idle(port());
  EXPECT_TRUE(idle.seesCloseWithin());
  publisher->send(marker("still served"), {phone.deviceID()});
  EXPECT_EQ(device->readMessage(), SyncMessage{marker("still served")});
}

// A timeout long enough that only making room can close a connection within the test. The paired
// device, older than them all, is no longer pending and so is not the one closed.
TEST_F(LocalNetworkPublisherTest, AFifthIdleConnectionClosesTheOldest) {
  startWith({60s, 4});
  auto device = returning(phone);

  std::vector<std::unique_ptr<LoopbackSocket>> idle;
  for (int i = 0; i < 5; ++i) idle.push_back(std::make_unique<LoopbackSocket>(port()));
  EXPECT_TRUE(idle[0]->seesCloseWithin());
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(answer(*idle[i], opening(tablet())), "deviceNotRecognised") << "connection " << i;
  }
}

// Thousands of silent connections, as many as the descriptor limit allows next to the
// publisher's own ends and the test's devices (the soft limit is raised to the hard one first).
std::size_t silentCrowdSize() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  const rlim_t spare = 600;  // the publisher's pending ends, devices, queues
  return limit.rlim_cur > 2000 + spare ? 2000 : static_cast<std::size_t>(limit.rlim_cur - spare);
}

TEST_F(LocalNetworkPublisherTest, HostileAndIdleConnectionsDoNotHoldUpRealDevices) {
  const std::size_t silent = silentCrowdSize();
  ConnectionCrowd crowd;
  crowd.open(port(), silent, ConnectionCrowd::Behaviour::silent);
  crowd.open(port(), 5, ConnectionCrowd::Behaviour::randomBytes);
  crowd.open(port(), 5, ConnectionCrowd::Behaviour::hugePrefix);
  crowd.open(port(), 5, ConnectionCrowd::Behaviour::dribbling);
  ASSERT_TRUE(crowd.waitUntilConnected());
  // At most 256 may wait for their first message; older ones make room.
  EXPECT_TRUE(crowd.waitUntilClosedByListener(silent + 15 - 256));

  publisher->retain(payload(1));
  RecordingDevice pairing("Tablet");
  pairing.subscriber->connect("127.0.0.1", port(), invite());
  RecordingDevice returning("Watch");
  returning.subscriber->reconnect("127.0.0.1", port(), store(returning.subscriber->identity()));
  ASSERT_TRUE(pairing.payloads.waitFor(1));
  ASSERT_TRUE(returning.payloads.waitFor(1));
  EXPECT_EQ(pairing.payloads.items()[0], payload(1));
  EXPECT_EQ(returning.payloads.items()[0], payload(1));
  EXPECT_TRUE(pairing.errors.items().empty());
  EXPECT_TRUE(returning.errors.items().empty());
}

// The real lock order: the publisher's queue calls into the coordinator, which sends back through
// the publisher, while the store answers keyForDevice under the publisher's lock.
TEST_F(LocalNetworkPublisherTest, ACodePairingIsStoredByTheCoordinatorAndReceivesItsPublishing) {
  auto records = std::make_shared<PairedDeviceStore>(
      std::make_shared<testing::MemorySecretStore>(*clock), "dev.velmora.meterwright.pairings");
  Journal<PairedDevice> remembered;
  SyncCoordinator coordinator(mac, records);
  coordinator.onDevicePaired = [&](const PairedDevice& device) { remembered.add(device); };
  auto local = std::make_shared<LocalNetworkPublisher>(mac, clock, nullptr);
  local->onPairingCompleted = [&](const PairedDevice& device, const SymmetricKey& key) {
    coordinator.remember(device, key);
  };
  local->keyForDevice = [records](const Uuid& id) -> std::optional<SymmetricKey> {
    std::optional<PairingRecord> record = records->record(id);
    if (!record) return std::nullopt;
    return record->key;
  };
  coordinator.add(local);
  coordinator.start();
  ASSERT_TRUE(local->waitUntilReady(10));

  RecordingDevice watch("Watch");
  watch.subscriber->connect("127.0.0.1", *local->port(), local->makeInvitation(60).code);
  ASSERT_TRUE(watch.paired.waitFor(1));
  ASSERT_TRUE(remembered.waitFor(1));
  std::optional<PairingRecord> record = records->record(watch.id());
  ASSERT_TRUE(record);
  EXPECT_EQ(record->key, watch.paired.items()[0].second);

  coordinator.publish(payload(5));
  ASSERT_TRUE(watch.payloads.waitFor(1));
  EXPECT_EQ(watch.payloads.items()[0], payload(5));
  coordinator.stop();
}

}  // namespace
}  // namespace meterwright
