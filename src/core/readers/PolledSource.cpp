#include "core/readers/PolledSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace meterwright {

namespace {

// The back-off doubles up to this many failures in a row (2×, 4× … 32× the interval).
constexpr int longestDoubling = 5;

// The stored reading keeps whole seconds, so readings are matched to the second.
Date wholeSecond(Date date) {
  return std::chrono::time_point_cast<Date::duration>(
      std::chrono::floor<std::chrono::seconds>(date));
}

// When a reading was observed: its newest provider observation, else when it was assembled.
Date observedAt(const Snapshot& reading) {
  std::optional<Date> newest;
  for (const ProviderSnapshot& provider : reading.providers) {
    if (provider.observedAt && (!newest || *provider.observedAt > *newest)) {
      newest = provider.observedAt;
    }
  }
  return newest.value_or(reading.generatedAt);
}

}  // namespace

PolledSource::PolledSource(std::shared_ptr<DiagnosableSource> upstream, double minInterval,
                           double maxBackoff, double manualFloor,
                           std::shared_ptr<const Clock> clock,
                           std::shared_ptr<PollStateStore> store, std::string provider)
    : upstream_(std::move(upstream)),
      minInterval_(minInterval),
      maxBackoff_(maxBackoff),
      manualFloor_(manualFloor),
      clock_(std::move(clock)),
      store_(store ? std::move(store) : PollStateStore::inMemory()),
      provider_(std::move(provider)) {}

std::string PolledSource::name() const {
  return upstream_->name();
}

std::optional<SourceFailure> PolledSource::lastFailure() const {
  return store_->peek(provider_).lastFailure;
}

PollState PolledSource::believed(PollState state, Date now) const {
  // An attempt in the future or a quiet longer than any back-off sets comes from a clock set back
  // or a hand-edited file. Believing it could silence the provider for good; it is due instead.
  if (state.lastAttempt > now || secondsBetween(now, state.retryAfter) > maxBackoff_) {
    PollState start;
    start.lastRenewalAttempt = state.lastRenewalAttempt;
    return start;
  }
  return state;
}

bool PolledSource::isDue(const PollState& state, Date now) const {
  return !(secondsBetween(state.lastAttempt, now) < minInterval_) && !(now < state.retryAfter);
}

PollState PolledSource::current(Date now) const {
  return believed(store_->peek(provider_), now);
}

std::optional<Snapshot> PolledSource::served(const PollState& state) const {
  if (cached_ && state.lastReadingObservedAt &&
      wholeSecond(observedAt(*cached_)) == *state.lastReadingObservedAt) {
    return cached_;
  }
  return std::nullopt;
}

std::optional<Snapshot> PolledSource::read() {
  {
    std::lock_guard lock(mutex_);
    // A look without the file lock first: most calls find the provider not due.
    Date now = clock_->now();
    PollState seen = current(now);
    if (!isDue(seen, now)) return served(seen);
    auto hold = store_->hold(provider_);
    // Another process is deciding right now; if the provider is due, that one asks it.
    if (!hold) return served(seen);
    now = clock_->now();
    hold->state = believed(hold->state, now);
    if (!isDue(hold->state, now)) return served(hold->state);
    // Recorded before upstream is asked, so every read meanwhile, in any process, is served
    // without asking.
    hold->state.lastAttempt = now;
    hold->commit();
  }

  std::optional<Snapshot> reading = upstream_->read();
  // Asked before taking the lock, so no other lock is ever taken while this one is held.
  std::optional<SourceFailure> failure;
  if (!reading) failure = upstream_->lastFailure();
  record(reading, failure);
  if (reading) return reading;
  std::lock_guard lock(mutex_);
  return served(current(clock_->now()));
}

void PolledSource::record(const std::optional<Snapshot>& reading,
                          const std::optional<SourceFailure>& failure) {
  std::lock_guard lock(mutex_);
  if (reading) cached_ = reading;
  // The outcome must reach the other processes: the back-off and a rate limit depend on it.
  auto hold = store_->hold(provider_, 5 * PollStateStore::defaultPatience);
  if (!hold) return;
  PollState& state = hold->state;
  if (reading) {
    state.failureStreak = 0;
    state.retryAfter = Date::min();
    state.rateLimited = false;
    state.lastFailure.reset();
    state.lastReadingObservedAt = wholeSecond(observedAt(*reading));
  } else {
    ++state.failureStreak;
    state.rateLimited = isRateLimit(failure);
    state.lastFailure = failure;
    double delay = std::min(
        minInterval_ * std::exp2(std::min(state.failureStreak, longestDoubling)), maxBackoff_);
    state.retryAfter = addingSeconds(clock_->now(), delay);
  }
  hold->commit();
}

bool PolledSource::forceRefresh() {
  auto hold = store_->hold(provider_);
  if (!hold) return false;
  Date now = clock_->now();
  PollState& state = hold->state;
  state = believed(state, now);
  if (secondsBetween(state.lastAttempt, now) < manualFloor_) return false;
  // A provider's rate limit is honoured even against the user's request.
  if (state.rateLimited && now < state.retryAfter) return false;
  // The streak and the rate-limit flag stay, so a failure of the forced attempt continues them.
  state.lastAttempt = Date::min();
  state.retryAfter = Date::min();
  hold->commit();
  return true;
}

double PolledSource::manualRefreshAvailableIn() const {
  Date now = clock_->now();
  PollState state = current(now);
  Date target = addingSeconds(state.lastAttempt, manualFloor_);
  if (state.rateLimited && state.retryAfter >= target) target = state.retryAfter;
  return std::max(0.0, secondsBetween(now, target));
}

Date PolledSource::nextAttempt() const {
  PollState state = current(clock_->now());
  return std::max(addingSeconds(state.lastAttempt, minInterval_), state.retryAfter);
}

bool PolledSource::isBackingOff() const {
  Date now = clock_->now();
  return now < current(now).retryAfter;
}

bool PolledSource::isRateLimitedByProvider() const {
  Date now = clock_->now();
  PollState state = current(now);
  return state.rateLimited && now < state.retryAfter;
}

std::optional<Snapshot> PolledSource::cachedSnapshot() const {
  std::lock_guard lock(mutex_);
  return cached_;
}

std::optional<double> PolledSource::cachedAge() const {
  std::lock_guard lock(mutex_);
  if (!cached_) return std::nullopt;
  return secondsBetween(cached_->generatedAt, clock_->now());
}

bool PolledSource::lastAttemptProduced(std::optional<Date> observed) const {
  if (!observed) return false;
  PollState state = current(clock_->now());
  return state.failureStreak == 0 && state.lastReadingObservedAt == wholeSecond(*observed);
}

bool PolledSource::isRateLimit(const std::optional<SourceFailure>& failure) {
  return failure && failure->kind == SourceFailure::Kind::rateLimited;
}

}  // namespace meterwright
