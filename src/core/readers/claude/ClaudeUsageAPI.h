#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/http/HttpTransport.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/time/Clock.h"
#include "core/usage/UsageWindow.h"

// The client of Anthropic's OAuth usage endpoint: one GET with the Claude Code access token, the
// answer turned into the five-hour and seven-day windows, and the wording of every failure.
// Stateless; the Claude reader supplies the token, the transport and the deadline.
namespace meterwright::ClaudeUsageAPI {

inline constexpr std::string_view defaultEndpoint = "https://api.anthropic.com/api/oauth/usage";
// Replaces the endpoint when set, so tests and demonstrations can point the reader at a local
// server; the only way the request can go over plain http, and then only to this machine.
inline constexpr std::string_view endpointVariable = "METERWRIGHT_CLAUDE_USAGE_URL";
// The request's own time-out; the caller's deadline is normally far shorter.
inline constexpr double requestTimeout = 60;
// The real answer is a few hundred bytes; anything past this is not a usage answer.
inline constexpr std::size_t bodyLimit = 4 * 1024 * 1024;

struct Result {
  // Ascending by window length.
  std::vector<UsageWindow> windows;
  Date observedAt;

  bool operator==(const Result&) const = default;
};

struct Failure {
  enum class Kind { http, timedOut, unreadable };

  Kind kind = Kind::unreadable;
  // The HTTP status for `http`; 0 when no HTTP response arrived at all.
  int status = 0;

  static Failure http(int status) { return {Kind::http, status}; }
  static Failure timedOut() { return {Kind::timedOut, 0}; }
  static Failure unreadable() { return {Kind::unreadable, 0}; }

  std::string summary() const;
  std::string hint() const;
  // Only a rejected session (401) needs the user to sign in again.
  bool needsUserAction() const;
  // Anthropic refusing for the request rate (429).
  bool isRateLimit() const { return kind == Kind::http && status == 429; }

  bool operator==(const Failure&) const = default;
};

using Outcome = std::variant<Result, Failure>;

// Whether an override may replace the endpoint: https to any host, plain http only to this
// machine (localhost, 127.0.0.0/8, [::1]), since the request carries the bearer token.
bool isAcceptableEndpoint(std::string_view url);

// The endpoint in use: the variable's value when it is acceptable, else the default.
std::string endpoint(const EnvironmentBlock& environment);

// The GET request: exactly the three header fields Anthropic expects, nothing else.
HttpRequest request(std::string_view url, std::string_view accessToken);

// Whether a token can go into a header field as it is. A token with control characters could
// smuggle extra header lines into the request, so it is never sent.
bool isSendableToken(std::string_view accessToken);

// One request, blocking for at most `timeout` seconds. An unsendable token gives http(0) without
// any request.
Outcome fetch(HttpTransport& transport, std::string_view url, std::string_view accessToken,
              double timeout, const Clock& clock);

// What a transport's response means; `now` becomes the result's observedAt.
Outcome interpret(const HttpResponse& response, Date now);

// The body of a 200 answer: a JSON object whose "five_hour" and "seven_day" members hold a
// numeric "utilization" (kept as it came) and an optional "resets_at". Any other member is
// ignored; no window at all is unreadable.
Outcome parseAnswer(std::string_view body, Date now);

// An internet date-time with or without fractional seconds and with a zone ("Z" or "+hh:mm");
// nothing for any other value, a string without a zone included.
std::optional<Date> isoDate(const nlohmann::json& value);

}  // namespace meterwright::ClaudeUsageAPI
