#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/readers/PollStateStore.h"
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
// The bookkeeping (last attempt, back-off, rate limit, last failure) lives in a PollStateStore,
// read at the start of each decision and written after it, so that every process of the user
// sharing the store keeps the same floors. Any thread may call any member. No lock is held while
// upstream reads, which can take tens of seconds (a network request, a child process).
class PolledSource final : public DiagnosableSource {
 public:
  // Intervals in seconds, fixed for the life of the instance. `provider` names the state in
  // `store`; without a store the state lives in this instance alone.
  PolledSource(std::shared_ptr<DiagnosableSource> upstream, double minInterval, double maxBackoff,
               double manualFloor, std::shared_ptr<const Clock> clock,
               std::shared_ptr<PollStateStore> store = nullptr, std::string provider = "provider");

  std::string name() const override;
  // The failure of the last attempt, whichever process made it.
  std::optional<SourceFailure> lastFailure() const override;

  // Upstream's answer when the provider is due (blocking for as long as upstream takes), else the
  // last good reading. That is this instance's own only while it is the one the last successful
  // attempt produced: when another process has fetched since, or the provider is being asked
  // elsewhere right now, the answer is nothing and the caller falls back on the stored reading.
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
  // The provider id its poll state is kept under.
  const std::string& provider() const { return provider_; }
  std::optional<Snapshot> cachedSnapshot() const;
  // Seconds from the cached reading's generatedAt to now; nothing before the first success.
  std::optional<double> cachedAge() const;
  // Whether the last attempt, in any process, succeeded and produced a reading observed at
  // `observedAt` (to the whole second): what a cache hit would answer with.
  bool lastAttemptProduced(std::optional<Date> observedAt) const;

  const std::shared_ptr<DiagnosableSource>& upstream() const { return upstream_; }

  // Whether a failure is the provider refusing for rate. Decided by the failure's kind, never by
  // its words, which follow the language. No failure at all is not.
  static bool isRateLimit(const std::optional<SourceFailure>& failure);

 private:
  // The stored state as of `now`, or the start state when it cannot be true.
  PollState believed(PollState state, Date now) const;
  bool isDue(const PollState& state, Date now) const;
  std::optional<Snapshot> served(const PollState& state) const;
  PollState current(Date now) const;
  void record(const std::optional<Snapshot>& reading, const std::optional<SourceFailure>& failure);

  const std::shared_ptr<DiagnosableSource> upstream_;
  const double minInterval_;
  const double maxBackoff_;
  const double manualFloor_;
  const std::shared_ptr<const Clock> clock_;
  const std::shared_ptr<PollStateStore> store_;
  const std::string provider_;

  mutable std::mutex mutex_;
  std::optional<Snapshot> cached_;
};

}  // namespace meterwright
