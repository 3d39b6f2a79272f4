#include "core/readers/claude/ClaudeUsageAPI.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "core/json/JsonText.h"
#include "core/text/LocalizedModule.h"
#include "core/text/TextCase.h"
#include "core/time/Iso8601.h"

namespace meterwright::ClaudeUsageAPI {

namespace {

std::string genericHint() {
  return L("api.claude.generic.hint", "Try Refresh Now, or use Claude Code once and retry.");
}

std::optional<UsageWindow> window(const nlohmann::json& answer, const char* member, int minutes) {
  auto found = answer.find(member);
  if (found == answer.end() || !found->is_object()) return std::nullopt;
  auto utilization = found->find("utilization");
  if (utilization == found->end() || !utilization->is_number()) return std::nullopt;
  UsageWindow result;
  result.windowMinutes = minutes;
  result.usedPercent = utilization->get<double>();
  if (auto resets = found->find("resets_at"); resets != found->end()) {
    result.resetsAt = isoDate(*resets);
  }
  return result;
}

}  // namespace

std::string Failure::summary() const {
  switch (kind) {
    case Kind::http:
      if (status == 401) return L("api.claude.rejected", "Anthropic rejected the stored session");
      if (status == 429) {
        return L("api.claude.rateLimited", "Anthropic is rate limiting \u2014 backing off");
      }
      return L("api.claude.httpFailure", "Anthropic usage request failed (HTTP %d)", status);
    case Kind::timedOut:
      return L("api.claude.timeout", "Anthropic usage request timed out");
    case Kind::unreadable:
      break;
  }
  return L("api.claude.unreadable", "Anthropic returned no usage windows");
}

std::string Failure::hint() const {
  switch (kind) {
    case Kind::http:
      if (status == 401) {
        return L("api.claude.rejected.hint", "Sign in again with the Claude Code CLI.");
      }
      if (status == 429) {
        return L("api.claude.rateLimited.hint",
                 "Too many requests. Meterwright will retry on its own.");
      }
      return genericHint();
    case Kind::timedOut:
      return L("api.claude.timeout.hint", "Check the network connection and press Refresh Now.");
    case Kind::unreadable:
      break;
  }
  return genericHint();
}

bool Failure::needsUserAction() const {
  return kind == Kind::http && status == 401;
}

bool isAcceptableEndpoint(std::string_view url) {
  if (TextCase::lowercased(url.substr(0, 8)) == "https://") return url.size() > 8;
  if (TextCase::lowercased(url.substr(0, 7)) != "http://") return false;
  // Plain http carries the token in the clear, so only to this machine. The host is matched
  // whole against a short list, so no spelling (user info, a longer name, an odd address form)
  // can make a URL look local to this check and remote to the transport.
  std::string_view rest = url.substr(7);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  std::string_view host = authority;
  if (auto colon = authority.rfind(':');
      colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    host = authority.substr(0, colon);
  }
  if (TextCase::lowercased(host) == "localhost" || host == "[::1]") return true;
  // A dotted IPv4 address in 127.0.0.0/8, each part a plain decimal number.
  int parts = 0;
  std::size_t start = 0;
  while (start <= host.size()) {
    std::size_t end = std::min(host.find('.', start), host.size());
    std::string_view part = host.substr(start, end - start);
    if (part.empty() || part.size() > 3 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(std::string(part)) > 255 || (part.size() > 1 && part[0] == '0')) {
      return false;
    }
    if (parts == 0 && part != "127") return false;
    ++parts;
    start = end + 1;
  }
  return parts == 4;
}

std::string endpoint(const EnvironmentBlock& environment) {
  auto configured = environment.get(endpointVariable);
  if (configured && isAcceptableEndpoint(*configured)) return *configured;
  return std::string(defaultEndpoint);
}

HttpRequest request(std::string_view url, std::string_view accessToken) {
  HttpRequest result;
  result.url = std::string(url);
  result.headers = {{"Authorization", "Bearer " + std::string(accessToken)},
                    {"anthropic-beta", "oauth-2025-04-20"},
                    {"Content-Type", "application/json"}};
  result.timeoutSeconds = requestTimeout;
  result.bodyLimit = bodyLimit;
  return result;
}

bool isSendableToken(std::string_view accessToken) {
  if (accessToken.empty()) return false;
  return std::none_of(accessToken.begin(), accessToken.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

Outcome fetch(HttpTransport& transport, std::string_view url, std::string_view accessToken,
              double timeout, const Clock& clock) {
  if (!isSendableToken(accessToken)) return Failure::http(0);
  HttpResponse response = transport.get(request(url, accessToken), timeout);
  return interpret(response, clock.now());
}

Outcome interpret(const HttpResponse& response, Date now) {
  switch (response.outcome) {
    case HttpResponse::Outcome::timedOut:
      return Failure::timedOut();
    case HttpResponse::Outcome::failed:
      return Failure::http(0);
    case HttpResponse::Outcome::bodyTooLarge:
      // The status decides first, as for any answer whose body is ignored.
      if (response.status != 200) return Failure::http(response.status);
      return Failure::unreadable();
    case HttpResponse::Outcome::completed:
      break;
  }
  if (response.status != 200) return Failure::http(response.status);
  return parseAnswer(response.body, now);
}

Outcome parseAnswer(std::string_view body, Date now) {
  if (body.empty()) return Failure::unreadable();
  auto answer = JsonText::parse(body);
  if (!answer || !answer->is_object()) return Failure::unreadable();
  Result result;
  result.observedAt = now;
  if (auto fiveHour = window(*answer, "five_hour", 300)) result.windows.push_back(*fiveHour);
  if (auto sevenDay = window(*answer, "seven_day", 10080)) result.windows.push_back(*sevenDay);
  if (result.windows.empty()) return Failure::unreadable();
  std::stable_sort(
      result.windows.begin(), result.windows.end(),
      [](const UsageWindow& a, const UsageWindow& b) { return a.windowMinutes < b.windowMinutes; });
  return result;
}

std::optional<Date> isoDate(const nlohmann::json& value) {
  if (!value.is_string()) return std::nullopt;
  const std::string& text = value.get_ref<const std::string&>();
  constexpr size_t fractionStart = 19;  // after "YYYY-MM-DDTHH:MM:SS"
  if (text.size() <= fractionStart || text[fractionStart] != '.') return Iso8601::parse(text);

  size_t end = fractionStart + 1;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  size_t digits = end - fractionStart - 1;
  if (digits == 0) return std::nullopt;
  auto whole = Iso8601::parse(text.substr(0, fractionStart) + text.substr(end));
  if (!whole) return std::nullopt;
  // Nanoseconds from the first nine digits; finer digits are below the clock's resolution.
  long long nanoseconds = 0;
  for (size_t i = 0; i < 9; ++i) {
    size_t position = fractionStart + 1 + i;
    int digit = i < digits ? text[position] - '0' : 0;
    nanoseconds = nanoseconds * 10 + digit;
  }
  auto fraction = std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(nanoseconds));
  if (*whole > Date::max() - fraction) return std::nullopt;
  return *whole + fraction;
}

}  // namespace meterwright::ClaudeUsageAPI
