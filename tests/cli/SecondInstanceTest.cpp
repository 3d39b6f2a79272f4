#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>

#include "cli/JobRunner.h"
#include "cli/SecondInstance.h"
#include "platform/control/ControlClient.h"
#include "platform/control/ControlServer.h"
#include "support/RunningInstance.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

class SecondInstanceTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::optional<int> status;
    std::string out;
    std::string err;
  };
  Outcome handOver() {
    std::ostringstream out, err;
    std::vector<std::string> arguments;
    Jobs::Context context{arguments, locations, out, err};
    std::optional<int> status = SecondInstance::tryHandOver(context);
    return {status, out.str(), err.str()};
  }

  testing::TemporaryFolder folder;
  FileLocations locations = folder.locations();
  std::filesystem::path socket = ControlClient::socketPath(locations);
};

TEST_F(SecondInstanceTest, ASecondStartShowsThePopupOrSaysOneRunsHeadless) {
  EXPECT_EQ(handOver().status, std::nullopt);

  for (bool headless : {false, true}) {
    std::atomic<int> shown = 0;
    testing::RunningInstance instance(socket, [&](ControlServer& server) {
      server.onShow = [&shown, headless] {
        ++shown;
        return headless;
      };
    });
    ASSERT_TRUE(instance.listening());
    Outcome outcome = handOver();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, headless ? "Meterwright is already running without a tray (process " +
                                          std::to_string(::getpid()) + ").\n"
                                    : "");
  }
  // The instance has gone, and its socket with it.
  EXPECT_EQ(handOver().status, std::nullopt);
}

// Runs `later` with the event on the next turn of the instance's loop, as a pairing would.
void sendSoon(ControlServer::EventSender later, std::optional<ControlEvent> event) {
  struct Pending {
    ControlServer::EventSender later;
    std::optional<ControlEvent> event;
  };
  GSource* idle = g_idle_source_new();
  g_source_set_callback(
      idle,
      [](gpointer data) -> gboolean {
        auto* pending = static_cast<Pending*>(data);
        // Without an event the instance drops the request, as one that quits would.
        if (pending->event) pending->later(*pending->event);
        return G_SOURCE_REMOVE;
      },
      new Pending{std::move(later), std::move(event)},
      [](gpointer data) { delete static_cast<Pending*>(data); });
  g_source_attach(idle, g_main_context_get_thread_default());
  g_source_unref(idle);
}

TEST_F(SecondInstanceTest, PairShowsTheInstancesCodeAndEndsWithItsEvent) {
  struct Case {
    std::optional<ControlEvent> event;
    int status;
    std::string last;
  };
  const Case cases[] = {
      {ControlEvent{ControlEventKind::paired, "Lab Phone"}, 0, "Lab Phone is paired.\n"},
      {ControlEvent{ControlEventKind::expired, ""}, 1, "This code has expired\n"},
  };
  for (const Case& each : cases) {
    testing::RunningInstance instance(socket, [&](ControlServer& server) {
      server.onPair = [&each](ControlServer::EventSender later) {
        ControlAnswer answer;
        const double inAMinute =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count() +
            60;
        answer.invitation = ControlInvitation{
            "ABCDE-FGHJK", "meterwright://pair/ABCDE-FGHJK", 4000, {"192.0.2.4:4000"}, inAMinute};
        sendSoon(std::move(later), each.event);
        return answer;
      };
    });
    ASSERT_TRUE(instance.listening());
    std::ostringstream out, err;
    int status = JobRunner::run({"--pair"}, locations, out, err);
    EXPECT_EQ(status, each.status);
    EXPECT_EQ(out.str(),
              "Pairing code: ABCDE-FGHJK\nLink: meterwright://pair/ABCDE-FGHJK\nPort: 4000\n"
              "Addresses: 192.0.2.4:4000\n" +
                  each.last);
    EXPECT_EQ(err.str(), "");
  }
}

TEST_F(SecondInstanceTest, PairSaysWhenTheInstanceCannotListen) {
  testing::RunningInstance instance(socket, [](ControlServer& server) {
    server.onPair = [](ControlServer::EventSender) {
      return ControlAnswer::failed(ControlFailureKind::notListening, "address in use");
    };
  });
  ASSERT_TRUE(instance.listening());
  std::ostringstream out, err;
  EXPECT_EQ(JobRunner::run({"--pair"}, locations, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "meterwright: could not listen on the local network: address in use\n");
}

}  // namespace
}  // namespace meterwright
