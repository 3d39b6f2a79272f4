#include "desktop/readers/claude/ClaudeCredentials.h"

#include "core/json/JsonText.h"
#include "core/readers/claude/ClaudeUsageAPI.h"

namespace meterwright {

std::optional<ClaudeCredentials> ClaudeCredentials::parse(std::string_view text) {
  auto document = JsonText::parse(text);
  if (!document || !document->is_object()) return std::nullopt;
  auto oauth = document->find("claudeAiOauth");
  if (oauth == document->end() || !oauth->is_object()) return std::nullopt;

  auto token = oauth->find("accessToken");
  if (token == oauth->end() || !token->is_string()) return std::nullopt;
  ClaudeCredentials result;
  result.accessToken = token->get<std::string>();
  if (!ClaudeUsageAPI::isSendableToken(result.accessToken)) return std::nullopt;

  if (auto expires = oauth->find("expiresAt"); expires != oauth->end() && expires->is_number()) {
    result.expiresAt = dateFromUnixSeconds(expires->get<double>() / 1000.0);
  }
  if (auto refresh = oauth->find("refreshToken"); refresh != oauth->end() && refresh->is_string()) {
    result.hasRefreshToken = !refresh->get_ref<const std::string&>().empty();
  }
  if (auto plan = oauth->find("subscriptionType"); plan != oauth->end() && plan->is_string()) {
    result.subscriptionType = plan->get<std::string>();
  }
  return result;
}

}  // namespace meterwright
