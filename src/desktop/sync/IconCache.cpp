#include "desktop/sync/IconCache.h"

#include <utility>

#include "desktop/render/IconLoader.h"
#include "desktop/render/SystemColours.h"

namespace meterwright {

std::optional<std::string> IconCache::render(std::string_view spec) {
  // Devices draw the icon on their own background, so the light appearance's label colour.
  std::optional<Image> image = IconLoader::standard().image(spec, pointSize, FontWeight::medium,
                                                            SystemColours::label(false));
  if (!image) return std::nullopt;
  return image->rasterise(1).png();
}

IconCache::IconCache(Renderer renderer) : renderer_(std::move(renderer)) {}

const std::shared_ptr<IconCache>& IconCache::shared() {
  static const std::shared_ptr<IconCache> cache = std::make_shared<IconCache>();
  return cache;
}

std::optional<std::string> IconCache::png(std::string_view spec) {
  {
    std::lock_guard guard(lock_);
    if (auto found = cache_.find(spec); found != cache_.end()) return found->second;
  }
  std::optional<std::string> drawn = renderer_(spec);
  if (!drawn) return std::nullopt;
  std::lock_guard guard(lock_);
  cache_.insert_or_assign(std::string(spec), *drawn);
  return drawn;
}

}  // namespace meterwright
