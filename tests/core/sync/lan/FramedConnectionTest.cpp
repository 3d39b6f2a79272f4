#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/sync/lan/FramedConnection.h"
#include "core/sync/lan/Journal.h"
#include "core/sync/lan/LoopbackSocket.h"
#include "core/sync/lan/QueueThread.h"
#include "core/sync/protocol/SyncFraming.h"
#include "support/ProcessChecks.h"

namespace meterwright {
namespace {

using testing::Journal;
using testing::LoopbackSocket;
using testing::QueueThread;
using testing::ProcessChecks::eventually;
using namespace std::chrono_literals;

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

// Everything a connection reported, one journal per callback, and the thread of every call.
struct Recorder {
  void attach(FramedConnection& connection) {
    connection.onReady = [this] { addOnThisThread(ready, {}, threads); };
    connection.onMessage = [this](const SyncMessage& m) { addOnThisThread(messages, m, threads); };
    connection.onFailure = [this](const SyncError& e) { addOnThisThread(failures, e, threads); };
  }

  std::size_t count() const { return threads.size(); }

  Journal<std::monostate> ready;
  Journal<SyncMessage> messages;
  Journal<SyncError> failures;
  Journal<std::thread::id> threads;
};

struct AcceptedLink {
  AcceptedLink() {
    connection = FramedConnection::accepted(peer.connectAndAccept(queue.io));
    recorder.attach(*connection);
    connection->start();
  }

  QueueThread queue;
  LoopbackSocket peer;
  Recorder recorder;
  std::shared_ptr<FramedConnection> connection;
};

class FramedConnectionTest : public ::testing::Test, protected AcceptedLink {};

TEST_F(FramedConnectionTest, TwoFramesInOneChunkThenACloseAreDeliveredInOrderOnTheQueueThread) {
  connection->start();  // a second start changes nothing
  ASSERT_TRUE(peer.write(frameOf(hello("first")) + frameOf(hello("second"))));
  peer.socket.shutdown(asio::ip::tcp::socket::shutdown_send);
  ASSERT_TRUE(recorder.messages.waitFor(2));
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_EQ(recorder.messages.items(), (std::vector<SyncMessage>{hello("first"), hello("second")}));
  EXPECT_EQ(recorder.ready.size(), 1u);
  EXPECT_TRUE(recorder.failures.items().empty());
  for (std::thread::id thread : recorder.threads.items()) EXPECT_EQ(thread, queue.threadID());
}

TEST_F(FramedConnectionTest, AFrameSplitAtAnyPointIsDeliveredOnceWhole) {
  std::string frame = frameOf(hello());
  for (std::size_t split = 1; split < frame.size(); ++split) {
    SCOPED_TRACE(split);
    ASSERT_TRUE(peer.write(frame.substr(0, split)));
    ASSERT_TRUE(eventually([&] { return connection->bufferedByteCount() == split; }));
    EXPECT_EQ(recorder.messages.items().size(), split - 1);
    ASSERT_TRUE(peer.write(frame.substr(split)));
    ASSERT_TRUE(recorder.messages.waitFor(split));
    EXPECT_EQ(connection->bufferedByteCount(), 0u);
  }
  EXPECT_TRUE(recorder.failures.items().empty());
}

TEST(FramedConnectionMalformed, ReportsOnceAndStopsReceiving) {
  struct Row {
    const char* name;
    std::string bytes;
    std::vector<SyncMessage> delivered;
  };
  for (const Row& row : {
           // Only the prefix: a connection that waited for the body would never report.
           Row{"oversized prefix", std::string("\0\x10\0\x01", 4), {}},  // 1048577
           Row{"zero-length frame", *SyncFraming::frame(""), {}},
           Row{"valid frame then invalid one",
               frameOf(hello()) + *SyncFraming::frame("{}"),
               {hello()}},
       }) {
    SCOPED_TRACE(row.name);
    AcceptedLink link;
    ASSERT_TRUE(link.peer.write(row.bytes));
    ASSERT_TRUE(link.recorder.failures.waitFor(1));
    EXPECT_EQ(link.connection->bufferedByteCount(), 0u);
    ASSERT_TRUE(link.peer.writeFrame(hello()));
    EXPECT_TRUE(link.queue.drainsWithin());
    EXPECT_EQ(link.recorder.messages.items(), row.delivered);
    EXPECT_EQ(link.recorder.failures.items(),
              std::vector<SyncError>{SyncError::malformedMessage()});
  }
}

TEST_F(FramedConnectionTest, ASendOverTheLimitReportsItAndWritesNothing) {
  connection->send(failureSaying(std::string(1048577, 'x')));
  ASSERT_TRUE(recorder.failures.waitFor(1));
  EXPECT_EQ(recorder.failures.items(), std::vector<SyncError>{SyncError::couldNotEncode()});
  connection->send(hello());
  EXPECT_EQ(peer.readMessage(), hello());
}

TEST_F(FramedConnectionTest, SendsFromManyThreadsArriveWholeAndInEachThreadsOrder) {
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
  EXPECT_TRUE(recorder.failures.items().empty());
}

TEST(FramedConnectionDrop, DroppingTheWrapperWhileDataArrivesEndsDeliverySafely) {
  for (bool onQueue : {true, false}) {
    SCOPED_TRACE(onQueue ? "on its queue" : "from another thread");
    AcceptedLink link;
    std::atomic<bool> stop = false;
    std::thread writer([&] {
      std::string burst;
      for (int i = 0; i < 50; ++i) burst += frameOf(hello("flood " + std::to_string(i)));
      asio::error_code error;
      while (!stop && !error) asio::write(link.peer.socket, asio::buffer(burst), error);
    });
    ASSERT_TRUE(link.recorder.messages.waitFor(3));
    std::weak_ptr<FramedConnection> watch = link.connection;
    std::optional<std::size_t> countAtDrop;
    if (onQueue) {
      std::promise<std::size_t> dropped;
      asio::post(link.queue.io, [&] {
        link.connection.reset();
        dropped.set_value(link.recorder.count());
      });
      countAtDrop = dropped.get_future().get();
    } else {
      link.connection.reset();  // the queue thread is busy receiving at this moment
    }
    // The socket closes, so the queue runs out of work and the flood hits a closed connection.
    EXPECT_TRUE(link.queue.drainsWithin());
    stop = true;
    writer.join();
    EXPECT_TRUE(watch.expired());
    if (countAtDrop) {
      EXPECT_EQ(link.recorder.count(), *countAtDrop);
    }
    EXPECT_TRUE(link.recorder.failures.items().empty());
  }
}

class ConnectingFramedConnectionTest : public ::testing::Test {
 protected:
  std::shared_ptr<FramedConnection> connectTo(const std::string& host, std::uint16_t port) {
    auto connection = FramedConnection::connecting(queue.io.get_executor(), host, port);
    recorder.attach(*connection);
    return connection;
  }

  QueueThread queue;
  LoopbackSocket peer;
  Recorder recorder;
};

TEST_F(ConnectingFramedConnectionTest, ResolvesConnectsThenWritesQueuedAndReadySentMessages) {
  auto connection = connectTo("localhost", peer.port());
  connection->onReady = [&] { connection->send(hello("from onReady")); };
  connection->send(hello("before start"));
  connection->start();
  ASSERT_TRUE(peer.acceptWithin());
  EXPECT_EQ(peer.readMessage(), hello("before start"));
  EXPECT_EQ(peer.readMessage(), hello("from onReady"));
  EXPECT_TRUE(recorder.failures.items().empty());
}

TEST_F(ConnectingFramedConnectionTest, DroppingItWhileConnectingCancelsTheAttempt) {
  auto connection = connectTo("127.0.0.1", peer.port());
  connection->start();
  connection.reset();
  EXPECT_TRUE(queue.drainsWithin());
  EXPECT_EQ(recorder.count(), 0u);
}

}  // namespace
}  // namespace meterwright
