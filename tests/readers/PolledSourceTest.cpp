#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "core/readers/PolledSource.h"
#include "readers/ScriptedSource.h"
#include "support/ManualClock.h"

namespace meterwright {
namespace {

using testing::ManualClock;
using testing::ScriptedSource;

UsageWindow win(int minutes, double used, std::optional<std::string> group = {}) {
  return {minutes, used, std::nullopt, std::move(group)};
}

Snapshot readingAt(Date generatedAt, double usedPercent = 40) {
  ProviderSnapshot provider{"claude", "Claude", {}, "live", generatedAt, {win(300, usedPercent)}};
  return Snapshot{generatedAt, {provider}, {}, "direct"};
}

class PolledSourceTest : public ::testing::Test {
 protected:
  PolledSource make(double minInterval, double maxBackoff = 1800, double manualFloor = 60) {
    return PolledSource(upstream, minInterval, maxBackoff, manualFloor, clock);
  }

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  std::shared_ptr<ScriptedSource> upstream = std::make_shared<ScriptedSource>("Claude reader");
};

TEST_F(PolledSourceTest, AsksUpstreamFirstThenServesTheCacheUntilTheIntervalHasPassed) {
  auto source = make(120);
  Date start = clock->now();
  upstream->thenReading(readingAt(start, 10));
  upstream->thenReading(readingAt(addingSeconds(start, 120), 20));

  EXPECT_EQ(source.read(), readingAt(start, 10));
  EXPECT_EQ(upstream->reads(), 1);
  clock->advance(119);
  EXPECT_EQ(source.read(), readingAt(start, 10));
  EXPECT_EQ(upstream->reads(), 1);
  EXPECT_EQ(source.nextAttempt(), addingSeconds(start, 120));

  clock->advance(1);
  EXPECT_EQ(source.read(), readingAt(addingSeconds(start, 120), 20));
  EXPECT_EQ(upstream->reads(), 2);
}

TEST_F(PolledSourceTest, BackOffDoublesPerFailureUpToThirtyTwoTimesAndTheCap) {
  struct Case {
    double minInterval;
    double maxBackoff;
    std::vector<double> delays;
  };
  const Case cases[] = {
      {120, 1800, {240, 480, 960, 1800, 1800, 1800}},
      // Far from the cap: the doubling itself stops at 32×.
      {10, 1800, {20, 40, 80, 160, 320, 320, 320}},
      {300, 500, {500, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minInterval);
    upstream = std::make_shared<ScriptedSource>();
    upstream->thenFailure("server error");
    auto source = make(c.minInterval, c.maxBackoff);
    int asked = 0;
    for (double delay : c.delays) {
      SCOPED_TRACE(delay);
      Date attempt = clock->now();
      EXPECT_EQ(source.read(), std::nullopt);
      EXPECT_EQ(upstream->reads(), ++asked);
      EXPECT_EQ(source.nextAttempt(), addingSeconds(attempt, delay));
      EXPECT_TRUE(source.isBackingOff());
      EXPECT_FALSE(source.isRateLimitedByProvider());

      clock->advance(delay - 1);
      EXPECT_EQ(source.read(), std::nullopt);
      EXPECT_EQ(upstream->reads(), asked) << "asked inside the back-off";
      clock->advance(1);
      EXPECT_FALSE(source.isBackingOff());
    }
  }
}

TEST_F(PolledSourceTest, RateLimitIsRecognisedFromTheFailureSummary) {
  struct Case {
    std::optional<std::string> summary;
    bool rateLimited;
  };
  const Case cases[] = {
      {"HTTP 429 from the usage endpoint", true},
      {"Anthropic is rate limiting \u2014 backing off", true},
      {"RATE LIMIT reached", true},
      {"Provider says: Rate Limit", true},
      {"server answered 500", false},
      {"ratelimit", false},
      {"", false},
      {std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary.value_or("(no failure record)"));
    std::optional<SourceFailure> failure;
    if (c.summary) failure = SourceFailure{*c.summary, "", false};
    EXPECT_EQ(PolledSource::isRateLimit(failure), c.rateLimited);

    upstream = std::make_shared<ScriptedSource>();
    upstream->then({std::nullopt, failure});
    auto source = make(300);
    source.read();
    EXPECT_EQ(source.isRateLimitedByProvider(), c.rateLimited);
    EXPECT_TRUE(source.isBackingOff());
  }
}

TEST_F(PolledSourceTest, AnOrdinaryFailureClearsAnEarlierRateLimit) {
  auto source = make(300);
  upstream->thenFailure("429 Too Many Requests");
  upstream->thenFailure("connection refused");
  source.read();
  EXPECT_TRUE(source.isRateLimitedByProvider());
  clock->set(source.nextAttempt());
  source.read();
  EXPECT_EQ(upstream->reads(), 2);
  EXPECT_TRUE(source.isBackingOff());
  EXPECT_FALSE(source.isRateLimitedByProvider());
}

TEST_F(PolledSourceTest, AFailureAfterSuccessesKeepsTheLastGoodReadingUnchanged) {
  auto source = make(120);
  Date start = clock->now();
  upstream->thenReading(readingAt(start));
  upstream->thenFailure("offline");
  ASSERT_TRUE(source.read());

  clock->advance(120);
  EXPECT_EQ(source.read(), readingAt(start));
  EXPECT_EQ(upstream->reads(), 2);
  EXPECT_EQ(source.cachedSnapshot(), readingAt(start));
  EXPECT_EQ(source.cachedAge(), 120);
  EXPECT_EQ(source.lastFailure(), (SourceFailure{"offline", "", false}));
}

TEST_F(PolledSourceTest, ManualRefreshOpensAtTheFloorAndOverridesAnOrdinaryBackOff) {
  auto source = make(120);
  upstream->thenFailure("offline");
  upstream->thenFailure("offline");
  upstream->thenFailure("offline");
  source.read();
  source.read();  // inside the interval: not asked
  Date attempt = clock->now();
  clock->advance(59);
  Date before = source.nextAttempt();
  EXPECT_EQ(source.manualRefreshAvailableIn(), 1);
  EXPECT_FALSE(source.forceRefresh());
  EXPECT_EQ(source.nextAttempt(), before);
  EXPECT_EQ(source.nextAttempt(), addingSeconds(attempt, 240));

  clock->advance(1);
  EXPECT_EQ(source.manualRefreshAvailableIn(), 0);
  EXPECT_TRUE(source.forceRefresh());
  EXPECT_FALSE(source.isBackingOff());
  source.read();
  EXPECT_EQ(upstream->reads(), 2);
  // The forced attempt failed too: the streak went on, so this is the second doubling.
  EXPECT_EQ(source.nextAttempt(), addingSeconds(clock->now(), 480));
}

TEST_F(PolledSourceTest, ManualRefreshHonoursTheProvidersRateLimit) {
  // First failure with a 300-second interval: the provider is left alone for 600 seconds.
  auto source = make(300);
  upstream->thenFailure("Anthropic is rate limiting \u2014 backing off");
  source.read();
  EXPECT_EQ(source.manualRefreshAvailableIn(), 600);
  clock->advance(120);
  EXPECT_FALSE(source.forceRefresh());
  EXPECT_EQ(source.manualRefreshAvailableIn(), 480);
  EXPECT_EQ(upstream->reads(), 1);

  clock->advance(480);
  EXPECT_EQ(source.manualRefreshAvailableIn(), 0);
  EXPECT_TRUE(source.forceRefresh());
}

TEST_F(PolledSourceTest, ManualRefreshWaitIsTheFloorWhenTheRateLimitEndsEarlier) {
  // Interval 20: a rate-limit back-off of 40 seconds ends before the 60-second manual floor.
  auto source = make(20);
  upstream->thenFailure("429");
  source.read();
  EXPECT_EQ(source.manualRefreshAvailableIn(), 60);
  clock->advance(45);
  EXPECT_FALSE(source.isRateLimitedByProvider());
  EXPECT_EQ(source.manualRefreshAvailableIn(), 15);
  EXPECT_FALSE(source.forceRefresh());
}

TEST_F(PolledSourceTest, ASuccessAfterAStreakClearsStreakBackOffAndRateLimitAtOnce) {
  auto source = make(120);
  upstream->thenFailure("429");
  upstream->thenFailure("429");
  upstream->thenReading(readingAt(clock->now()));
  upstream->thenFailure("offline");
  source.read();
  clock->set(source.nextAttempt());
  source.read();
  clock->set(source.nextAttempt());
  ASSERT_TRUE(source.read());
  EXPECT_FALSE(source.isBackingOff());
  EXPECT_FALSE(source.isRateLimitedByProvider());
  EXPECT_EQ(source.nextAttempt(), addingSeconds(clock->now(), 120));

  clock->advance(120);
  source.read();
  EXPECT_EQ(upstream->reads(), 4);
  // Back to the first doubling.
  EXPECT_EQ(source.nextAttempt(), addingSeconds(clock->now(), 240));
}

TEST_F(PolledSourceTest, FreshInstanceHasNoCacheAndNoWait) {
  auto source = make(300, 1800, 60);
  EXPECT_EQ(source.cachedSnapshot(), std::nullopt);
  EXPECT_EQ(source.cachedAge(), std::nullopt);
  EXPECT_EQ(source.manualRefreshAvailableIn(), 0);
  EXPECT_FALSE(source.isBackingOff());
  EXPECT_LE(source.nextAttempt(), clock->now());
  EXPECT_EQ(source.minimumInterval(), 300);
  EXPECT_EQ(source.name(), "Claude reader");
  EXPECT_TRUE(source.forceRefresh());
}

TEST_F(PolledSourceTest, UpstreamIsReadWithoutTheLockHeld) {
  // An upstream that blocks until the test lets it go.
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
    // A second read arriving meanwhile is served from the (empty) cache, not queued.
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
