#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "core/readers/PollStateCoding.h"
#include "core/readers/PolledSource.h"
#include "core/readers/ScriptedSource.h"
#include "support/ManualClock.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

using testing::ScriptedSource;
constexpr auto limited = SourceFailure::Kind::rateLimited;
constexpr auto failed = SourceFailure::Kind::failed;

Snapshot readingAt(Date generatedAt, double usedPercent = 40) {
  ProviderSnapshot provider{"claude", "Claude",    {},
                            "live",   generatedAt, {{300, usedPercent, {}, {}}}};
  return Snapshot{generatedAt, {provider}, {}, "direct"};
}

class PolledSourceTest : public ::testing::Test {
 protected:
  PolledSource make(double minInterval, double maxBackoff = 1800) {
    return PolledSource(upstream, minInterval, maxBackoff, 60, clock);
  }
  // Fails with each kind in turn; returns the source after the first read.
  std::unique_ptr<PolledSource> failing(double minInterval,
                                        std::vector<SourceFailure::Kind> kinds) {
    for (auto kind : kinds) upstream->thenFailure("failed", kind);
    auto source = std::make_unique<PolledSource>(upstream, minInterval, 1800, 60, clock);
    source->read();
    return source;
  }

  std::shared_ptr<testing::ManualClock> clock = std::make_shared<testing::ManualClock>();
  std::shared_ptr<ScriptedSource> upstream = std::make_shared<ScriptedSource>("Claude reader");
};

TEST_F(PolledSourceTest, ServesTheCacheUntilTheIntervalPassesAndKeepsItThroughAFailure) {
  auto source = make(120);
  EXPECT_EQ(source.cachedSnapshot(), std::nullopt);
  EXPECT_EQ(source.manualRefreshAvailableIn(), 0);
  EXPECT_TRUE(source.forceRefresh());
  Date start = clock->now();
  upstream->thenReading(readingAt(start, 10));
  upstream->thenReading(readingAt(addingSeconds(start, 120), 20));
  upstream->thenFailure("offline");

  EXPECT_EQ(source.read(), readingAt(start, 10));
  clock->advance(119);
  EXPECT_EQ(source.read(), readingAt(start, 10));
  EXPECT_EQ(upstream->reads(), 1);
  EXPECT_EQ(source.nextAttempt(), addingSeconds(start, 120));
  clock->advance(1);
  EXPECT_EQ(source.read(), readingAt(addingSeconds(start, 120), 20));
  EXPECT_EQ(upstream->reads(), 2);

  clock->advance(120);
  EXPECT_EQ(source.read(), readingAt(addingSeconds(start, 120), 20));
  EXPECT_EQ(upstream->reads(), 3);
  EXPECT_EQ(source.cachedAge(), 120);
  EXPECT_EQ(source.lastFailure(), (SourceFailure{"offline", "", false}));
}

TEST_F(PolledSourceTest, BackOffDoublesPerFailureUpToThirtyTwoTimesAndTheCap) {
  struct Row {
    double minInterval;
    double maxBackoff;
    std::vector<double> delays;
  };
  const Row rows[] = {{120, 1800, {240, 480, 960, 1800, 1800}},
                      {10, 1800, {20, 40, 80, 160, 320, 320, 320}},
                      {300, 500, {500, 500}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.minInterval);
    upstream = std::make_shared<ScriptedSource>();
    upstream->thenFailure("server error");
    auto source = make(row.minInterval, row.maxBackoff);
    int asked = 0;
    for (double delay : row.delays) {
      SCOPED_TRACE(delay);
      Date attempt = clock->now();
      EXPECT_EQ(source.read(), std::nullopt);
      EXPECT_EQ(upstream->reads(), ++asked);
      EXPECT_EQ(source.nextAttempt(), addingSeconds(attempt, delay));
      EXPECT_TRUE(source.isBackingOff());
      EXPECT_FALSE(source.isRateLimitedByProvider());
      clock->advance(delay - 1);
      source.read();
      EXPECT_EQ(upstream->reads(), asked) << "asked inside the back-off";
      clock->advance(1);
    }
  }
}

TEST_F(PolledSourceTest, AnOrdinaryFailureOrASuccessClearsAnEarlierRateLimit) {
  auto source = failing(120, {limited, failed, limited});
  EXPECT_TRUE(source->isRateLimitedByProvider());
  clock->set(source->nextAttempt());
  source->read();
  EXPECT_TRUE(source->isBackingOff());
  EXPECT_FALSE(source->isRateLimitedByProvider());
  clock->set(source->nextAttempt());
  source->read();
  EXPECT_TRUE(source->isRateLimitedByProvider());

  upstream->thenReading(readingAt(clock->now()));
  upstream->thenFailure("offline");
  clock->set(source->nextAttempt());
  ASSERT_TRUE(source->read());
  EXPECT_FALSE(source->isBackingOff());
  EXPECT_FALSE(source->isRateLimitedByProvider());
  EXPECT_EQ(source->nextAttempt(), addingSeconds(clock->now(), 120));
  clock->advance(120);
  source->read();
  EXPECT_EQ(upstream->reads(), 5);
  EXPECT_EQ(source->nextAttempt(), addingSeconds(clock->now(), 240));
  // The failure's kind decides a rate limit, never its words.
  using Kind = SourceFailure::Kind;
  const std::pair<std::optional<SourceFailure>, bool> rows[] = {
      {SourceFailure{"Anthropic drosselt die Abfragen", "", false, Kind::rateLimited}, true},
      {SourceFailure{"", "", false, Kind::rateLimited}, true},
      {SourceFailure{"HTTP 429: rate limit", "", false, Kind::failed}, false},
      {std::nullopt, false}};
  for (const auto& [failure, rateLimited] : rows) {
    EXPECT_EQ(PolledSource::isRateLimit(failure), rateLimited)
        << (failure ? failure->summary : "(no failure record)");
  }
}

TEST_F(PolledSourceTest, ManualRefreshOpensAtTheFloorAndOverridesAnOrdinaryBackOff) {
  auto source = failing(120, {failed});
  source->read();  // inside the interval: not asked
  Date attempt = clock->now();
  clock->advance(59);
  EXPECT_EQ(source->manualRefreshAvailableIn(), 1);
  EXPECT_FALSE(source->forceRefresh());
  EXPECT_EQ(source->nextAttempt(), addingSeconds(attempt, 240));
  clock->advance(1);
  EXPECT_EQ(source->manualRefreshAvailableIn(), 0);
  EXPECT_TRUE(source->forceRefresh());
  EXPECT_FALSE(source->isBackingOff());
  source->read();
  EXPECT_EQ(upstream->reads(), 2);
  EXPECT_EQ(source->nextAttempt(), addingSeconds(clock->now(), 480));
}

TEST_F(PolledSourceTest, ManualRefreshWaitsForTheRateLimitButNeverLessThanTheFloor) {
  // Interval 300: a rate limit leaves the provider alone for 600 seconds.
  auto quiet = failing(300, {limited});
  EXPECT_EQ(quiet->manualRefreshAvailableIn(), 600);
  clock->advance(120);
  EXPECT_FALSE(quiet->forceRefresh());
  EXPECT_EQ(quiet->manualRefreshAvailableIn(), 480);
  clock->advance(480);
  EXPECT_TRUE(quiet->forceRefresh());

  // Interval 20: the 40-second rate-limit back-off ends before the 60-second floor.
  upstream = std::make_shared<ScriptedSource>();
  auto brief = failing(20, {limited});
  EXPECT_EQ(brief->manualRefreshAvailableIn(), 60);
  clock->advance(45);
  EXPECT_FALSE(brief->isRateLimitedByProvider());
  EXPECT_EQ(brief->manualRefreshAvailableIn(), 15);
  EXPECT_FALSE(brief->forceRefresh());
}

TEST_F(PolledSourceTest, UpstreamIsReadWithoutTheLockHeld) {
  class BlockingSource : public DiagnosableSource {
   public:
    std::promise<void> entered;
    std::shared_future<void> release;
    std::string name() const override { return "blocking"; }
    std::optional<SourceFailure> lastFailure() const override { return std::nullopt; }
    std::optional<Snapshot> read() override {
      entered.set_value();
      release.wait();
      return readingAt(Date{});
    }
  };
  auto blocking = std::make_shared<BlockingSource>();
  std::promise<void> letGo;
  blocking->release = letGo.get_future().share();
  PolledSource source(blocking, 120, 1800, 60, clock);

  auto firstRead = std::async(std::launch::async, [&] { return source.read(); });
  blocking->entered.get_future().wait();
  auto meanwhile = std::async(std::launch::async, [&] {
    bool answered = !source.read() && !source.cachedSnapshot() && !source.isBackingOff();
    return answered && !source.forceRefresh() && source.manualRefreshAvailableIn() == 60;
  });
  bool answeredWhileBlocked =
      meanwhile.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  letGo.set_value();
  EXPECT_TRUE(answeredWhileBlocked) << "a status member waited for upstream's read";
  EXPECT_TRUE(meanwhile.get());
  EXPECT_EQ(firstRead.get(), readingAt(Date{}));
  EXPECT_EQ(source.cachedSnapshot(), readingAt(Date{}));
}

// Two processes of one user: each has its own reader and its own PolledSource, and they share
// the poll state folder.
class SharedPollStateTest : public PolledSourceTest {
 protected:
  struct Process {
    std::shared_ptr<ScriptedSource> reader = std::make_shared<ScriptedSource>();
    std::unique_ptr<PolledSource> source;
  };
  Process start(double minInterval = 300) {
    Process process;
    process.source = std::make_unique<PolledSource>(process.reader, minInterval, 1800, 60, clock,
                                                    PollStateStore::inFolder(folder), "claude");
    return process;
  }
  std::filesystem::path file() const { return folder / "claude.json"; }

  testing::TemporaryFolder temp;
  std::filesystem::path folder = temp.locations().pollStateFolder();
};

TEST_F(SharedPollStateTest, TheFloorHoldsAcrossProcessesAndOneNewRequestFollowsIt) {
  Process tray = start(), statusLine = start();
  tray.reader->thenReading(readingAt(clock->now()));
  ASSERT_TRUE(tray.source->read());

  clock->advance(299);
  // Not its reading to give: the caller answers from the stored reading instead.
  EXPECT_EQ(statusLine.source->read(), std::nullopt);
  EXPECT_TRUE(statusLine.source->lastAttemptProduced(addingSeconds(clock->now(), -299)));

  clock->advance(1);
  statusLine.reader->thenReading(readingAt(clock->now(), 55));
  EXPECT_EQ(statusLine.source->read(), readingAt(clock->now(), 55));
  EXPECT_EQ(tray.source->read(), std::nullopt) << "the tray's own reading is no longer the last";
  EXPECT_EQ(tray.reader->reads() + statusLine.reader->reads(), 2);
}

TEST_F(SharedPollStateTest, ARateLimitAndTheBackOffHoldAcrossProcesses) {
  Process first = start(), second = start();
  first.reader->thenFailure("Anthropic drosselt die Abfragen", limited);
  first.source->read();
  Date failedAt = clock->now();

  clock->advance(301);  // past the floor, inside the 600-second quiet
  second.source->read();
  EXPECT_EQ(second.reader->reads(), 0);
  EXPECT_TRUE(second.source->isRateLimitedByProvider());
  EXPECT_FALSE(second.source->forceRefresh());
  EXPECT_EQ(second.source->manualRefreshAvailableIn(), 299);
  EXPECT_EQ(second.source->lastFailure()->kind, limited);

  // The next failure, wherever it happens, continues the streak: four times the floor.
  clock->set(addingSeconds(failedAt, 600));
  second.reader->thenFailure("offline");
  second.source->read();
  EXPECT_EQ(second.reader->reads(), 1);
  EXPECT_FALSE(first.source->isRateLimitedByProvider());
  EXPECT_EQ(first.source->nextAttempt(), addingSeconds(clock->now(), 1200));
}

TEST_F(SharedPollStateTest, AStateFileThatCannotBeTrueMeansDueNowAndIsReplaced) {
  auto state = [](double lastAttempt, double retryAfter) {
    PollState value;
    value.lastAttempt = addingSeconds(testing::ManualClock().now(), lastAttempt);
    value.retryAfter = addingSeconds(testing::ManualClock().now(), retryAfter);
    return *PollStateCoding::encode(value, "claude");
  };
  const std::pair<const char*, std::string> files[] = {
      {"damaged", R"({"version": 1, "provider": "claude", "lastAttempt": )"},
      {"empty", ""},
      {"binary", std::string("\0\xff\xfe", 3)},
      {"another format", R"({"version": 2, "provider": "claude"})"},
      {"another provider", *PollStateCoding::encode(PollState{}, "codex")},
      {"not an object", "[1, 2]"},
      {"a mistyped member", R"({"version": 1, "provider": "claude", "failureStreak": "2"})"},
      {"an attempt in the future", state(86400, 0)},
      {"a quiet of a year", state(-10, 365 * 86400.0)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    std::filesystem::create_directories(folder);
    testing::writeFile(file(), bytes);
    Process process = start();
    process.reader->thenReading(readingAt(clock->now()));
    EXPECT_TRUE(process.source->read());
    EXPECT_EQ(process.reader->reads(), 1);
    auto replaced = PollStateCoding::decode(testing::readFile(file()), "claude");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->lastAttempt, clock->now());
  }
}

TEST_F(SharedPollStateTest, TheStateFileKeepsEveryFieldAndIsWrittenOnlyWhenOneChanges) {
  PollState full;
  full.lastAttempt = clock->now();
  full.retryAfter = addingSeconds(clock->now(), 600);
  full.failureStreak = 3;
  full.rateLimited = true;
  full.lastFailure = SourceFailure{"Zu viele Anfragen", "Später", true, limited};
  full.lastReadingObservedAt = addingSeconds(clock->now(), -900);
  full.lastRenewalAttempt = addingSeconds(clock->now(), -60);
  auto store = PollStateStore::inFolder(folder);
  {
    auto hold = store->hold("claude");
    ASSERT_TRUE(hold);
    hold->state = full;
    EXPECT_TRUE(hold->commit());
  }
  EXPECT_EQ(store->peek("claude"), full);
  EXPECT_EQ(PollStateCoding::decode(testing::readFile(file()), "claude"), full);

  auto written = std::filesystem::last_write_time(file()) - std::chrono::hours(1);
  std::filesystem::last_write_time(file(), written);
  store->hold("claude")->commit();
  EXPECT_EQ(std::filesystem::last_write_time(file()), written);
}

}  // namespace
}  // namespace meterwright
