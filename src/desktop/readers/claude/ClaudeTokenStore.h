#pragma once

#include <optional>
#include <string>

#include "core/secrets/SecretStore.h"

// A long-lived Claude token that earlier versions of Meterwright kept in the secret store. This
// version only reads it (to keep such users working) and deletes it once Anthropic refuses it;
// nothing writes one any more.
namespace meterwright::ClaudeTokenStore {

inline constexpr const char* service = "dev.velmora.meterwright.claude-token";
inline constexpr const char* account = "long-lived";

// The stored token; nothing when there is none, it is empty, or it could not go into a header
// as it is.
std::optional<std::string> read(SecretStore& store, bool allowInteraction = false);

// True when the item was deleted or did not exist.
bool remove(SecretStore& store);

}  // namespace meterwright::ClaudeTokenStore
