#include "core/usage/Snapshot.h"

#include "core/text/TextCase.h"

namespace meterwright {

const ProviderSnapshot* Snapshot::provider(std::string_view id) const {
  for (const ProviderSnapshot& entry : providers) {
    if (TextCase::equalIgnoringCase(entry.id, id)) return &entry;
  }
  return nullptr;
}

}  // namespace meterwright
