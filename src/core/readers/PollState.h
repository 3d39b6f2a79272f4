#pragma once

#include <optional>

#include "core/time/Clock.h"
#include "core/usage/SourceFailure.h"

namespace meterwright {

// One provider's poll bookkeeping: what decides whether the provider may be asked now, and what
// the last attempt brought. Every process of the user shares it through a PollStateStore, so the
// floors, the back-off and a provider's rate limit hold across all of them.
struct PollState {
  // When the provider was last asked; the distant past before the first attempt.
  Date lastAttempt = Date::min();
  // No automatic attempt before this; the distant past after a success.
  Date retryAfter = Date::min();
  // Failed attempts since the last success.
  int failureStreak = 0;
  // The last failure was the provider refusing for the request rate.
  bool rateLimited = false;
  std::optional<SourceFailure> lastFailure;
  // When the reading of the last successful attempt was observed, to the whole second (as the
  // stored reading keeps it): a stored reading observed then is that attempt's.
  std::optional<Date> lastReadingObservedAt;
  // When a renewal of the provider's sign-in was last attempted.
  Date lastRenewalAttempt = Date::min();

  bool operator==(const PollState&) const = default;
};

}  // namespace meterwright
