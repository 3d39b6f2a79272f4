#include "desktop/readers/ReaderContext.h"

#include <mutex>

#include "desktop/readers/ClaudeSessionRenewer.h"
#include "platform/http/CurlHttpTransport.h"
#include "platform/secrets/FileSecretStore.h"

namespace meterwright {

ReaderContext ReaderContext::forProcess(const FileLocations& locations) {
  // One renewer for the whole process: its spacing between attempts only protects Claude Code if
  // every reader goes through the same one.
  static std::mutex renewerMutex;
  static std::shared_ptr<ClaudeSessionRenewer> sharedRenewer;

  auto clock = std::make_shared<const SystemClock>();
  EnvironmentBlock environment = EnvironmentBlock::ofProcess();

  std::shared_ptr<ClaudeSessionRenewer> renewer;
  {
    std::lock_guard lock(renewerMutex);
    if (!sharedRenewer) {
      sharedRenewer = std::make_shared<ClaudeSessionRenewer>(locations, environment, clock);
    }
    renewer = sharedRenewer;
  }

  // The store keeps a reference to the clock, so the clock lives as long as the store does.
  std::shared_ptr<SecretStore> secrets(
      new FileSecretStore(locations.supportFolder() / "keychain", *clock),
      [clock](SecretStore* store) { delete store; });

  return ReaderContext{locations,
                       std::move(environment),
                       clock,
                       std::make_shared<CurlHttpTransport>(),
                       std::move(secrets),
                       std::move(renewer),
                       ReaderDeadlines{}};
}

}  // namespace meterwright
