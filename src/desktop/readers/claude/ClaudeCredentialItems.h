#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/secrets/SecretStore.h"
#include "core/time/Clock.h"

namespace meterwright {

// The attributes of one stored copy of Claude Code's sign-in, without its secret.
struct ClaudeCredentialItem {
  std::string service;
  // Absent when the store does not know; such an item sorts as the oldest.
  std::optional<Date> modificationDate;

  bool operator==(const ClaudeCredentialItem&) const = default;
};

// Where Claude Code keeps its sign-in, seen as Keychain-like items whose service names start
// with "Claude Code-credentials". On Linux that is one file (ClaudeCredentialsFile); tests present
// several items to exercise the choice between them.
class ClaudeCredentialItems {
 public:
  static constexpr std::string_view service = "Claude Code-credentials";

  virtual ~ClaudeCredentialItems() = default;

  // Every item the store holds (of any service); nothing when the listing itself failed.
  virtual std::optional<std::vector<ClaudeCredentialItem>> list() = 0;

  // The data of the item for `service`, with the Keychain's status numbers (itemNotFound,
  // authFailed…). `allowInteraction` false forbids any prompt.
  virtual SecretReadResult read(const std::string& service, bool allowInteraction) = 0;
};

}  // namespace meterwright
