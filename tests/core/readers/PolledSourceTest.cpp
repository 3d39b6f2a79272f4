#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "core/readers/PolledSource.h"
#include "core/readers/ScriptedSource.h"
#include "support/ManualClock.h"

namespace meterwright {
namespace {

using testing::ScriptedSource;

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
  // Fails with each summary in turn; returns the source after the first read.
  std::unique_ptr<PolledSource> failing(double minInterval, std::vector<std::string> summaries) {
    for (const auto& summary : summaries) upstream->thenFailure(summary);
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

// That the source backs off as rate limited on such a failure is checked below.
TEST_F(PolledSourceTest, RateLimitIsRecognisedFromTheFailureSummary) {
  struct Row {
    std::optional<std::string> summary;
    bool rateLimited;
  };
  const Row rows[] = {{"HTTP 429 from the usage endpoint", true},
                      {"Anthropic is rate limiting \u2014 backing off", true},
                      {"RATE LIMIT reached", true},
                      {"Provider says: Rate Limit", true},
                      {"server answered 500", false},
                      {"ratelimit", false},
                      {"", false},
                      {std::nullopt, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.summary.value_or("(no failure record)"));
    std::optional<SourceFailure> failure;
    if (row.summary) failure = SourceFailure{*row.summary, "", false};
    EXPECT_EQ(PolledSource::isRateLimit(failure), row.rateLimited);
  }
}

TEST_F(PolledSourceTest, AnOrdinaryFailureOrASuccessClearsAnEarlierRateLimit) {
  auto source = failing(120, {"429 Too Many Requests", "connection refused", "429"});
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
}

TEST_F(PolledSourceTest, ManualRefreshOpensAtTheFloorAndOverridesAnOrdinaryBackOff) {
  auto source = failing(120, {"offline"});
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
  auto limited = failing(300, {"Anthropic is rate limiting \u2014 backing off"});
  EXPECT_EQ(limited->manualRefreshAvailableIn(), 600);
  clock->advance(120);
  EXPECT_FALSE(limited->forceRefresh());
  EXPECT_EQ(limited->manualRefreshAvailableIn(), 480);
  clock->advance(480);
  EXPECT_TRUE(limited->forceRefresh());

  // Interval 20: the 40-second rate-limit back-off ends before the 60-second floor.
  auto brief = failing(20, {"429"});
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

}  // namespace
}  // namespace meterwright
