#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/sync/FramedConnection.h"
#include "core/sync/SyncFraming.h"
#include "sync/LoopbackPeer.h"
#include "sync/QueueThread.h"

namespace meterwright {
namespace {

using testing::LoopbackPeer;
using testing::QueueThread;
using namespace std::chrono_literals;

constexpr auto deadline = 10s;

SyncMessage hello(std::string name = "Anna’s iPhone") {
  return {SyncMessage::Hello{2, *Uuid::parse("6F1C1D2E-3A4B-4C5D-8E9F-A0B1C2D3E4F5"),
                             std::move(name), "iOS"}};
}

SyncMessage failureSaying(std::string detail) {
  return {SyncMessage::Failure{std::nullopt, std::move(detail)}};
}

std::string frameOf(const SyncMessage& message) {
  return std::move(SyncFraming::encode(message)).value();
}

std::string prefix(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>((length >> 16) & 0xFF),
          static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
}

// What a connection reported, and on which threads, for the test thread to wait on.
class Recorder {
 public:
  void attach(FramedConnection& connection) {
    connection.onReady = [this] { record([&] { ++readyCount_; }); };
    connection.onMessage = [this](const SyncMessage& m) {
      record([&] { messages_.push_back(m); });
    };
    connection.onFailure = [this](const SyncError& e) { record([&] { failures_.push_back(e); }); };
  }

  bool waitForMessages(std::size_t count) {
    return waitUntil([&] { return messages_.size() >= count; });
  }
  bool waitForFailure() {
    return waitUntil([&] { return !failures_.empty(); });
  }
  bool waitForReady() {
    return waitUntil([&] { return readyCount_ > 0; });
  }

  std::vector<SyncMessage> messages() const {
    return locked([&] { return messages_; });
  }
  std::vector<SyncError> failures() const {
    return locked([&] { return failures_; });
  }
  int readyCount() const {
    return locked([&] { return readyCount_; });
  }
  std::size_t callbackCount() const {
    return locked([&] { return messages_.size() + failures_.size() + readyCount_; });
  }
  std::vector<std::thread::id> threads() const {
    return locked([&] { return threads_; });
  }

 private:
  template <typename Change>
  void record(Change change) {
    std::lock_guard guard(mutex_);
    change();
    threads_.push_back(std::this_thread::get_id());
    changed_.notify_all();
  }

  template <typename Read>
  auto locked(Read read) const -> decltype(read()) {
    std::lock_guard guard(mutex_);
    return read();
  }

  template <typename Condition>
  bool waitUntil(Condition condition) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, deadline, condition);
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<SyncMessage> messages_;
  std::vector<SyncError> failures_;
  int readyCount_ = 0;
  std::vector<std::thread::id> threads_;
};

// Waits for a state no callback announces (bytes sitting in the buffer) with a deadline.
template <typename Condition>
bool eventually(Condition condition) {
  auto until = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

// An accepted connection on a queue thread with a loopback peer at the other end.
class FramedConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = FramedConnection::accepted(peer.connectAndAccept(queue.io));
    recorder.attach(*connection);
  }

  QueueThread queue;
  LoopbackPeer peer;
  Recorder recorder;
  std::shared_ptr<FramedConnection> connection;
};

TEST_F(FramedConnectionTest, AnAcceptedSocketIsReadyAtOnceAndCallsBackOnTheQueueThread) {
  connection->start();
  connection->start();  // a second start changes nothing
  ASSERT_TRUE(recorder.waitForReady());
  peer.writeFrame(hello());
  ASSERT_TRUE(recorder.waitForMessages(1));
  EXPECT_EQ(recorder.messages(), std::vector<SyncMessage>{hello()});
  EXPECT_EQ(recorder.readyCount(), 1);
  for (std::thread::id thread : recorder.threads()) EXPECT_EQ(thread, queue.threadID());
}

TEST_F(FramedConnectionTest, AFrameSplitAtAnyPointIsDeliveredOnceWhole) {
  connection->start();
  std::string frame = frameOf(hello());
  for (std::size_t split = 1; split < frame.size(); ++split) {
    peer.write(frame.substr(0, split));
    // Let the first part be received on its own before the rest follows.
    ASSERT_TRUE(eventually([&] { return connection->bufferedByteCount() == split; }))
        << "split at " << split;
    EXPECT_EQ(recorder.messages().size(), split - 1) << "split at " << split;
    peer.write(frame.substr(split));
    ASSERT_TRUE(recorder.waitForMessages(split)) << "split at " << split;
    EXPECT_EQ(connection->bufferedByteCount(), 0u);
  }
  EXPECT_TRUE(recorder.failures().empty());
}

TEST_F(FramedConnectionTest, AFrameInThreeChunksIsDeliveredAfterTheThird) {
  connection->start();
  std::string frame = frameOf(hello());
  peer.write(frame.substr(0, 2));
  ASSERT_TRUE(eventually([&] { return connection->bufferedByteCount() == 2; }));
  peer.write(frame.substr(2, 30));
  ASSERT_TRUE(eventually([&] { return connection->bufferedByteCount() == 32; }));
  EXPECT_TRUE(recorder.messages().empty());
  peer.write(frame.substr(32));
  ASSERT_TRUE(recorder.waitForMessages(1));
  EXPECT_EQ(recorder.messages(), std::vector<SyncMessage>{hello()});
}

TEST_F(FramedConnectionTest, TwoFramesInOneChunkAreDeliveredInOrder) {
  connection->start();
  peer.write(frameOf(hello("first")) + frameOf(hello("second")));
  ASSERT_TRUE(recorder.waitForMessages(2));
  EXPECT_EQ(recorder.messages(), (std::vector<SyncMessage>{hello("first"), hello("second")}));
}

TEST_F(FramedConnectionTest, AFrameLargerThanOneReadIsReassembled) {
  SyncMessage large = failureSaying(std::string(300'000, 'r'));
  connection->start();
  peer.writeFrame(large);
  ASSERT_TRUE(recorder.waitForMessages(1));
  EXPECT_EQ(recorder.messages(), std::vector<SyncMessage>{large});
}

TEST_F(FramedConnectionTest, AnOversizedPrefixIsMalformedBeforeItsBodyArrives) {
  connection->start();
  // Only the prefix: a connection that waited for the body would never report.
  peer.write(prefix(1048577));
  ASSERT_TRUE(recorder.waitForFailure());
  EXPECT_EQ(recorder.failures(), std::vector<SyncError>{SyncError::malformedMessage()});
  EXPECT_EQ(connection->bufferedByteCount(), 0u);
  // Receiving has stopped, so nothing is left pending on the queue; the socket stays open.
  peer.writeFrame(hello());
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(recorder.failures().size(), 1u);
}

TEST_F(FramedConnectionTest, AZeroLengthFrameIsMalformed) {
  connection->start();
  peer.write(prefix(0));
  ASSERT_TRUE(recorder.waitForFailure());
  EXPECT_EQ(recorder.failures(), std::vector<SyncError>{SyncError::malformedMessage()});
  EXPECT_TRUE(queue.drainsWithin());
}

TEST_F(FramedConnectionTest, AValidFrameFollowedByAnInvalidOneInOneChunkDeliversNeither) {
  connection->start();
  peer.write(frameOf(hello()) + prefix(2) + "{}");
  ASSERT_TRUE(recorder.waitForFailure());
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(recorder.failures(), std::vector<SyncError>{SyncError::malformedMessage()});
}

TEST_F(FramedConnectionTest, ThePeerClosingAfterAFrameDeliversItAndThenNothing) {
  connection->start();
  peer.writeFrame(hello());
  peer.socket.shutdown(asio::ip::tcp::socket::shutdown_send);
  ASSERT_TRUE(recorder.waitForMessages(1));
  // The end of the stream re-arms nothing and reports nothing.
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_EQ(recorder.messages(), std::vector<SyncMessage>{hello()});
  EXPECT_TRUE(recorder.failures().empty());
}

TEST_F(FramedConnectionTest, AResetByThePeerIsAReceiveFailure) {
  connection->start();
  ASSERT_TRUE(recorder.waitForReady());
  peer.reset();
  ASSERT_TRUE(recorder.waitForFailure());
  std::vector<SyncError> failures = recorder.failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].kind, SyncError::Kind::transportFailed);
  EXPECT_FALSE(failures[0].text.empty());
  EXPECT_NE(failures[0], SyncError::malformedMessage());
  EXPECT_TRUE(queue.drainsWithin());
}

TEST_F(FramedConnectionTest, ASendOverTheLimitReportsItAndWritesNothing) {
  connection->start();
  connection->send(failureSaying(std::string(1048577, 'x')));
  ASSERT_TRUE(recorder.waitForFailure());
  EXPECT_EQ(recorder.failures(), std::vector<SyncError>{SyncError::couldNotEncode()});
  EXPECT_EQ(recorder.failures()[0].text, "Could not encode a message");
  // The next frame on the wire is the next message: nothing of the refused one went out.
  connection->send(hello());
  EXPECT_EQ(peer.readMessage(), hello());
}

TEST_F(FramedConnectionTest, SendsFromManyThreadsArriveWholeAndInEachThreadsOrder) {
  connection->start();
  constexpr int threadCount = 4;
  constexpr int perThread = 8;
  // Frames of several reads each, so interleaved writes would tear them.
  const std::string padding(100'000, 'p');
  std::vector<std::thread> senders;
  for (int t = 0; t < threadCount; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        connection->send(
            failureSaying(std::to_string(t) + ":" + std::to_string(i) + ":" + padding));
      }
    });
  }
  std::vector<int> next(threadCount, 0);
  for (int received = 0; received < threadCount * perThread; ++received) {
    std::optional<SyncMessage> message = peer.readMessage();
    ASSERT_TRUE(message.has_value()) << "frame " << received;
    const std::string& detail = message->as<SyncMessage::Failure>()->detail;
    int thread = detail[0] - '0';
    std::size_t colon = detail.find(':', 2);
    EXPECT_EQ(std::stoi(detail.substr(2, colon - 2)), next[thread]++);
    EXPECT_EQ(detail.substr(colon + 1), padding);
  }
  for (std::thread& sender : senders) sender.join();
  EXPECT_TRUE(recorder.failures().empty());
}

TEST_F(FramedConnectionTest, CancelClosesTheSocketAndSilencesTheCallbacks) {
  connection->start();
  ASSERT_TRUE(recorder.waitForReady());
  connection->cancel();
  EXPECT_TRUE(peer.seesCloseWithin());
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_EQ(recorder.callbackCount(), 1u);  // the ready before the cancel
}

TEST_F(FramedConnectionTest, DroppingTheWrapperStillWritesWhatWasSentAndThenCloses) {
  connection->start();
  connection->send(failureSaying("That pairing code is no longer valid."));
  connection.reset();
  EXPECT_EQ(peer.readMessage(), failureSaying("That pairing code is no longer valid."));
  EXPECT_TRUE(peer.seesCloseWithin());
  EXPECT_TRUE(queue.drainsWithin());
}

// The peer keeps writing frames until the connection goes away under it.
void floodUntilClosed(LoopbackPeer& peer, std::atomic<bool>& stop) {
  std::string burst;
  for (int i = 0; i < 50; ++i) burst += frameOf(hello("flood " + std::to_string(i)));
  asio::error_code error;
  while (!stop && !error) asio::write(peer.socket, asio::buffer(burst), error);
}

TEST_F(FramedConnectionTest, DroppingTheWrapperOnItsQueueEndsDeliveryAtOnce) {
  std::atomic<bool> stop = false;
  connection->start();
  std::thread writer([&] { floodUntilClosed(peer, stop); });
  ASSERT_TRUE(recorder.waitForMessages(3));

  std::promise<std::size_t> countAtDrop;
  asio::post(queue.io, [&] {
    connection.reset();
    countAtDrop.set_value(recorder.callbackCount());
  });
  std::size_t before = countAtDrop.get_future().get();
  EXPECT_TRUE(queue.drainsWithin());
  stop = true;
  writer.join();
  EXPECT_EQ(recorder.callbackCount(), before);
  EXPECT_TRUE(recorder.failures().empty());
}

TEST_F(FramedConnectionTest, DroppingTheWrapperFromAnotherThreadWhileDataArrivesIsSafe) {
  std::atomic<bool> stop = false;
  connection->start();
  std::thread writer([&] { floodUntilClosed(peer, stop); });
  ASSERT_TRUE(recorder.waitForMessages(3));
  std::weak_ptr<FramedConnection> watch = connection;
  connection.reset();  // the queue thread is busy receiving at this moment
  // The socket closes, so the queue runs out of work and the flood hits a closed connection.
  EXPECT_TRUE(queue.drainsWithin());
  stop = true;
  writer.join();
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(recorder.failures().empty());
}

// An outgoing connection, as the subscriber makes one.
class ConnectingFramedConnectionTest : public ::testing::Test {
 protected:
  QueueThread queue;
  LoopbackPeer peer;
  Recorder recorder;
};

TEST_F(ConnectingFramedConnectionTest, ConnectsThenWritesQueuedAndReadySentMessagesInOrder) {
  auto connection = FramedConnection::connecting(queue.io.get_executor(), "127.0.0.1", peer.port());
  recorder.attach(*connection);
  connection->onReady = [&] { connection->send(hello("from onReady")); };
  connection->send(hello("before start"));
  connection->start();
  ASSERT_TRUE(peer.acceptWithin());
  EXPECT_EQ(peer.readMessage(), hello("before start"));
  EXPECT_EQ(peer.readMessage(), hello("from onReady"));

  peer.writeFrame(hello("answer"));
  ASSERT_TRUE(recorder.waitForMessages(1));
  EXPECT_EQ(recorder.messages(), std::vector<SyncMessage>{hello("answer")});
}

TEST_F(ConnectingFramedConnectionTest, ResolvesAHostName) {
  auto connection = FramedConnection::connecting(queue.io.get_executor(), "localhost", peer.port());
  recorder.attach(*connection);
  connection->start();
  // localhost may resolve to ::1 first; the IPv4 listener still gets the connection.
  ASSERT_TRUE(peer.acceptWithin());
  ASSERT_TRUE(recorder.waitForReady());
  EXPECT_TRUE(recorder.failures().empty());
}

TEST_F(ConnectingFramedConnectionTest, AConnectionThatCannotBeMadeFails) {
  std::uint16_t closedPort = 0;
  {
    LoopbackPeer gone;
    closedPort = gone.port();
  }
  auto connection = FramedConnection::connecting(queue.io.get_executor(), "127.0.0.1", closedPort);
  recorder.attach(*connection);
  connection->start();
  ASSERT_TRUE(recorder.waitForFailure());
  std::vector<SyncError> failures = recorder.failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].kind, SyncError::Kind::transportFailed);
  EXPECT_FALSE(failures[0].text.empty());
  EXPECT_EQ(recorder.readyCount(), 0);
  EXPECT_TRUE(queue.drainsWithin());
}

TEST_F(ConnectingFramedConnectionTest, DroppingItWhileConnectingCancelsTheAttempt) {
  auto connection = FramedConnection::connecting(queue.io.get_executor(), "127.0.0.1", peer.port());
  recorder.attach(*connection);
  connection->start();
  connection.reset();
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_EQ(recorder.callbackCount(), 0u);
}

}  // namespace
}  // namespace meterwright
