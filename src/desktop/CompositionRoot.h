#pragma once

#include <memory>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/readers/CompositeSource.h"
#include "desktop/readers/ReaderContext.h"

namespace meterwright {

class ClaudeDirectSource;
class CodexDirectSource;
class Notifier;
class PairedDeviceStore;
class SyncManager;

// Where a process builds its real objects: the readers' context (environment, clock, libcurl, the
// file secret store, one session renewer), the Claude and Codex readers, and the composite source
// over them. Components receive what they need from here instead of reaching for a concrete type.
// Built once per process; the readers, and so the renewer's spacing between attempts, are shared
// by every composite source it builds.
class CompositionRoot {
 public:
  // `allowKeychainPrompt` lets the Claude reader make the secret store ask the user.
  static CompositionRoot forProcess(const FileLocations& locations, bool allowKeychainPrompt);

  CompositionRoot(ReaderContext context, bool allowKeychainPrompt);

  const ReaderContext& readerContext() const { return context_; }
  // The Claude reader, also when the composite source leaves it out: the menu asks it for the
  // sign-in's expiry.
  const std::shared_ptr<ClaudeDirectSource>& claudeReader() const { return claude_; }

  // A composite source over this process's readers, for one configuration. Only the providers the
  // configuration shows are polled; the Claude reader is kept either way.
  std::unique_ptr<CompositeSource> compositeSource(bool claudeDirect, const Config& config) const;

  // The notifier, on the session bus of this process's environment. Made on the thread whose
  // main context it will use.
  std::unique_ptr<Notifier> notifier() const;

  // This computer's sync manager: the secret store and user defaults of the process, the name
  // its owner gave the machine, DNS-SD through avahi-daemon, the cloud folder and the publisher
  // lock. METERWRIGHT_LISTEN_ADDRESS, when set, is the one address the publisher listens on.
  // Nothing is started.
  std::unique_ptr<SyncManager> syncManager() const;
  // The paired devices alone, for jobs that need no network.
  std::shared_ptr<PairedDeviceStore> pairedDeviceStore() const;

 private:
  ReaderContext context_;
  std::shared_ptr<ClaudeDirectSource> claude_;
  std::shared_ptr<CodexDirectSource> codex_;
};

}  // namespace meterwright
