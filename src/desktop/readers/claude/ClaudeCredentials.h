#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/time/Clock.h"

namespace meterwright {

// The part of Claude Code's stored sign-in that the Claude reader uses. The item holds JSON:
// {"claudeAiOauth": {"accessToken", "expiresAt" (milliseconds since 1970), "refreshToken",
// "subscriptionType", …}}; every other member is ignored. The token must never reach a log or a
// failure text.
struct ClaudeCredentials {
  std::string accessToken;
  // The raw plan word Claude Code stores ("max", "pro"…).
  std::optional<std::string> subscriptionType;
  std::optional<Date> expiresAt;
  bool hasRefreshToken = false;

  bool operator==(const ClaudeCredentials&) const = default;

  // Nothing unless "claudeAiOauth" is an object with a non-empty "accessToken" string that can
  // go into a header as it is. Members of another type than expected count as absent.
  static std::optional<ClaudeCredentials> parse(std::string_view text);

  // The expiry is known and earlier than `now`.
  bool hasLapsed(Date now) const { return expiresAt && *expiresAt < now; }
};

}  // namespace meterwright
