#include "desktop/CompositionRoot.h"

#include <string_view>
#include <utility>

#include "core/providers/ProviderRegistry.h"
#include "desktop/readers/claude/ClaudeDirectSource.h"
#include "desktop/readers/claude/ClaudeSessionRenewer.h"
#include "desktop/readers/codex/CodexDirectSource.h"
#include "platform/http/CurlHttpTransport.h"
#include "platform/secrets/FileSecretStore.h"

namespace meterwright {

CompositionRoot CompositionRoot::forProcess(const FileLocations& locations,
                                            bool allowKeychainPrompt) {
  auto clock = std::make_shared<const SystemClock>();
  EnvironmentBlock environment = EnvironmentBlock::ofProcess();
  // One renewer for every reader of the process: its spacing between attempts only protects
  // Claude Code if all of them go through the same one.
  auto renewer = std::make_shared<ClaudeSessionRenewer>(locations, environment, clock);
  std::shared_ptr<SecretStore> secrets =
      std::make_shared<FileSecretStore>(locations.supportFolder() / "keychain", clock);
  ReaderContext context{locations,
                        std::move(environment),
                        clock,
                        std::make_shared<CurlHttpTransport>(),
                        std::move(secrets),
                        std::move(renewer),
                        ReaderDeadlines{}};
  return CompositionRoot(std::move(context), allowKeychainPrompt);
}

CompositionRoot::CompositionRoot(ReaderContext context, bool allowKeychainPrompt)
    : context_(std::move(context)),
      claude_(std::make_shared<ClaudeDirectSource>(allowKeychainPrompt, context_)),
      codex_(std::make_shared<CodexDirectSource>("GPT Codex \u2014 local app-server",
                                                 ProviderRegistry::codex(), context_)) {}

std::unique_ptr<CompositeSource> CompositionRoot::compositeSource(bool claudeDirect,
                                                                  const Config& config) const {
  // A provider no surface shows (disabled, or not in the configuration at all) is never asked:
  // no token goes to Anthropic and no app-server starts for numbers nobody sees.
  auto shown = [&](std::string_view id) {
    const ProviderConfig* entry = config.provider(id);
    return entry && entry->enabled;
  };
  CompositeSource::Readers readers{claude_, shown("codex") ? codex_ : nullptr};
  return std::make_unique<CompositeSource>(std::move(readers), claudeDirect && shown("claude"),
                                           config, context_.locations, context_.clock);
}

}  // namespace meterwright
