#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/providers/ProviderDescriptor.h"
#include "core/readers/claude/ClaudeUsageAPI.h"
#include "core/usage/SnapshotSource.h"
#include "desktop/readers/ReaderContext.h"
#include "desktop/readers/claude/ClaudeCredentialItems.h"
#include "desktop/readers/claude/ClaudeCredentials.h"

namespace meterwright {

// The Claude reader. It borrows the sign-in Claude Code left behind, asks Anthropic's usage
// endpoint for the quota windows with it, and explains every failure in `lastFailure`. It never
// signs in itself and stores no credential of its own; a lapsed sign-in is handed to the
// session renewer. The composite source keeps a reference to it for `sessionExpiry`.
class ClaudeDirectSource : public DiagnosableSource {
 public:
  using Credentials = ClaudeCredentials;

  static constexpr const char* rejectedTokenDefault = "claudeLongLivedTokenRejected.v1";

  // `allowPrompt` says whether the reader may make the secret store ask the user, and whether a
  // lapsed sign-in may be renewed. `items` replaces Claude Code's credentials file (tests).
  ClaudeDirectSource(bool allowPrompt, ReaderContext context,
                     std::shared_ptr<ClaudeCredentialItems> items = nullptr);

  std::string name() const override;
  // Blocks for up to the request deadline, plus the renewal's when a lapsed sign-in is renewed.
  // Called from one thread at a time.
  std::optional<Snapshot> read() override;
  std::optional<SourceFailure> lastFailure() const override;

  const ProviderDescriptor& provider() const { return provider_; }
  bool allowPrompt() const { return allowPrompt_; }
  // Expiry of the sign-in last used, for the warning before it lapses.
  std::optional<Date> sessionExpiry() const;

  // One pass over the stored copies of the sign-in, newest first: the first that has not lapsed,
  // else the one that lapsed last; nothing when none could be read. Records each query's status
  // for lastReadStatus.
  static std::optional<Credentials> credentials(bool allowPrompt, ClaudeCredentialItems& items,
                                                Date now);
  // The same over Claude Code's credentials file as the context locates it (for diagnostics).
  static std::optional<Credentials> credentials(bool allowPrompt, const ReaderContext& context);

  // The status of the most recent item query in this process; 0 before any.
  static int lastReadStatus();

  // Why no credentials could be read, from that status.
  static SourceFailure missingCredentialsFailure(int status, bool allowPrompt);

 private:
  ClaudeUsageAPI::Outcome fetch(const std::string& token);
  std::optional<Credentials> currentCredentials();
  void adopt(const std::optional<Credentials>& credentials);
  std::optional<Snapshot> lapsed(const Credentials& credentials);
  std::optional<std::string> executablePlan();
  Snapshot snapshot(const ClaudeUsageAPI::Result& result,
                    const std::optional<std::string>& plan) const;
  void setFailure(std::optional<SourceFailure> failure);

  ProviderDescriptor provider_;
  bool allowPrompt_;
  ReaderContext context_;
  std::shared_ptr<ClaudeCredentialItems> items_;
  std::string endpoint_;

  mutable std::mutex failureLock_;
  std::optional<SourceFailure> lastFailure_;

  // Guards the two fields below; never held across a query, a child or a request.
  mutable std::mutex credentialsLock_;
  std::optional<Credentials> cachedCredentials_;
  std::optional<Date> sessionExpiry_;

  // Not asked yet (outer empty), asked without a plan, or the plan. A forced refresh can overlap
  // two reads, so it has a lock of its own; never held while `claude` runs.
  mutable std::mutex planLock_;
  std::optional<std::optional<std::string>> cachedPlan_;
};

}  // namespace meterwright
