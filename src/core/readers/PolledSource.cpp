#include "core/readers/PolledSource.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/text/TextCase.h"

namespace meterwright {

namespace {

// The back-off doubles up to this many failures in a row (2×, 4× … 32× the interval).
constexpr int longestDoubling = 5;

}  // namespace

PolledSource::PolledSource(std::shared_ptr<DiagnosableSource> upstream, double minInterval,
                           double maxBackoff, double manualFloor,
                           std::shared_ptr<const Clock> clock)
    : upstream_(std::move(upstream)),
      minInterval_(minInterval),
      maxBackoff_(maxBackoff),
      manualFloor_(manualFloor),
      clock_(std::move(clock)) {}

std::string PolledSource::name() const {
  return upstream_->name();
}

std::optional<SourceFailure> PolledSource::lastFailure() const {
  return upstream_->lastFailure();
}

std::optional<Snapshot> PolledSource::read() {
  {
    std::lock_guard lock(mutex_);
    Date now = clock_->now();
    if (secondsBetween(lastAttempt_, now) < minInterval_ || now < retryAfter_) return cached_;
    // Set before the lock is released, so a read arriving meanwhile is served from the cache.
    lastAttempt_ = now;
  }

  std::optional<Snapshot> reading = upstream_->read();
  // Asked before taking the lock, so no other lock is ever taken while this one is held.
  bool rateLimited = !reading && isRateLimit(upstream_->lastFailure());

  std::lock_guard lock(mutex_);
  if (reading) {
    cached_ = reading;
    failureStreak_ = 0;
    retryAfter_ = Date::min();
    isRateLimited_ = false;
    return reading;
  }
  ++failureStreak_;
  isRateLimited_ = rateLimited;
  double delay =
      std::min(minInterval_ * std::exp2(std::min(failureStreak_, longestDoubling)), maxBackoff_);
  retryAfter_ = addingSeconds(clock_->now(), delay);
  return cached_;
}

bool PolledSource::forceRefresh() {
  std::lock_guard lock(mutex_);
  Date now = clock_->now();
  if (secondsBetween(lastAttempt_, now) < manualFloor_) return false;
  // A provider's rate limit is honoured even against the user's request.
  if (isRateLimited_ && now < retryAfter_) return false;
  // The streak and the rate-limit flag stay, so a failure of the forced attempt continues them.
  lastAttempt_ = Date::min();
  retryAfter_ = Date::min();
  return true;
}

double PolledSource::manualRefreshAvailableIn() const {
  std::lock_guard lock(mutex_);
  Date now = clock_->now();
  Date target = addingSeconds(lastAttempt_, manualFloor_);
  if (isRateLimited_ && retryAfter_ >= target) target = retryAfter_;
  return std::max(0.0, secondsBetween(now, target));
}

Date PolledSource::nextAttempt() const {
  std::lock_guard lock(mutex_);
  return std::max(addingSeconds(lastAttempt_, minInterval_), retryAfter_);
}

bool PolledSource::isBackingOff() const {
  std::lock_guard lock(mutex_);
  return clock_->now() < retryAfter_;
}

bool PolledSource::isRateLimitedByProvider() const {
  std::lock_guard lock(mutex_);
  return isRateLimited_ && clock_->now() < retryAfter_;
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

bool PolledSource::isRateLimit(const std::optional<SourceFailure>& failure) {
  if (!failure) return false;
  return failure->summary.find("429") != std::string::npos ||
         TextCase::lowercased(failure->summary).find("rate limit") != std::string::npos;
}

}  // namespace meterwright
