#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SnapshotSource.h"
#include "core/usage/SourceFailure.h"

namespace meterwright {

// Stands between the program and one provider reader: answers from the last good reading until
// the provider's interval has passed, backs off exponentially after failures, recognises a
// provider's rate-limit answer, and gates the user's "Refresh Now". The composite source owns one
// per provider; the windows and the diagnostics read its state for their status lines.
//
// Any thread may call any member. The lock is never held while upstream reads, which can take
// tens of seconds (a network request, a child process).
class PolledSource final : public DiagnosableSource {
 public:
  // Intervals in seconds, fixed for the life of the instance.
  PolledSource(std::shared_ptr<DiagnosableSource> upstream, double minInterval, double maxBackoff,
               double manualFloor, std::shared_ptr<const Clock> clock);

  // Upstream's name and last failure, unchanged.
  std::string name() const override;
  std::optional<SourceFailure> lastFailure() const override;

  // The cached reading while throttled or backing off, else upstream's answer (blocking for as
  // long as upstream takes). A failed attempt returns the last good reading unchanged, or nothing.
  std::optional<Snapshot> read() override;

  // The manual refresh gate: true when the next read() will ask upstream. Refused within
  // `manualFloor` of the last attempt, and while the provider's rate limit lasts.
  bool forceRefresh();
  // Seconds until forceRefresh() can succeed; never negative.
  double manualRefreshAvailableIn() const;
  // The earliest time at which read() will ask upstream.
  Date nextAttempt() const;
  bool isBackingOff() const;
  bool isRateLimitedByProvider() const;
  double minimumInterval() const { return minInterval_; }
  std::optional<Snapshot> cachedSnapshot() const;
  // Seconds from the cached reading's generatedAt to now; nothing before the first success.
  std::optional<double> cachedAge() const;

  const std::shared_ptr<DiagnosableSource>& upstream() const { return upstream_; }

  // Whether a failure is the provider refusing for rate: "429" in its summary, or "rate limit" in
  // any mix of cases. No failure at all is not.
  static bool isRateLimit(const std::optional<SourceFailure>& failure);

 private:
  const std::shared_ptr<DiagnosableSource> upstream_;
  const double minInterval_;
  const double maxBackoff_;
  const double manualFloor_;
  const std::shared_ptr<const Clock> clock_;

  mutable std::mutex mutex_;
  std::optional<Snapshot> cached_;
  Date lastAttempt_ = Date::min();
  Date retryAfter_ = Date::min();
  int failureStreak_ = 0;
  bool isRateLimited_ = false;
};

}  // namespace meterwright
