#include "cli/ReadOnce.h"

#include "core/config/ConfigStore.h"
#include "core/readers/CompositeSource.h"
#include "desktop/CompositionRoot.h"

namespace meterwright {

ReadOnce ReadOnce::take(Jobs::Context& context) {
  Config config = ConfigStore::load(context.locations).config;
  auto root = CompositionRoot::forProcess(context.locations, context.has("--allow-keychain"));
  std::shared_ptr<CompositeSource> source = root.compositeSource(/*claudeDirect=*/true, config);
  std::optional<Snapshot> snapshot = source->read();
  return {std::move(config), std::move(snapshot), root.readerContext().clock->now(),
          std::move(source)};
}

}  // namespace meterwright
