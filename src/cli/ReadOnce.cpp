#include "cli/ReadOnce.h"

#include "core/config/ConfigStore.h"
#include "desktop/CompositionRoot.h"

namespace meterwright {

ReadOnce ReadOnce::take(Jobs::Context& context) {
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  std::optional<Snapshot> snapshot = root.compositeSource(/*claudeDirect=*/true, config)->read();
  return {std::move(config), std::move(snapshot), root.readerContext().clock->now()};
}

}  // namespace meterwright
