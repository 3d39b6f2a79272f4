#include "desktop/readers/claude/ClaudeTokenStore.h"

#include "core/readers/claude/ClaudeUsageAPI.h"

namespace meterwright::ClaudeTokenStore {

std::optional<std::string> read(SecretStore& store, bool allowInteraction) {
  SecretReadResult result = store.read(service, account, allowInteraction);
  if (result.status != SecretStatus::success || !result.item) return std::nullopt;
  if (!ClaudeUsageAPI::isSendableToken(result.item->data)) return std::nullopt;
  return result.item->data;
}

bool remove(SecretStore& store) {
  int status = store.remove(service, account);
  return status == SecretStatus::success || status == SecretStatus::itemNotFound;
}

}  // namespace meterwright::ClaudeTokenStore
