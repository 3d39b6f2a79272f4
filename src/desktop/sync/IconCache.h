#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace meterwright {

// Provider icons as paired devices receive them: PNG bytes per icon reference, drawn once per
// process. Its lock guards the map only and is never held while drawing, so a slow icon holds up
// no other lookup. An icon that cannot be drawn is not remembered and is tried again next time.
class IconCache {
 public:
  // PNG bytes of one icon reference, or nothing.
  using Renderer = std::function<std::optional<std::string>(std::string_view spec)>;

  static constexpr double pointSize = 64;

  // The icon loader's image of the reference at 64 points, medium weight, in the label colour,
  // as a PNG at one pixel per point.
  static std::optional<std::string> render(std::string_view spec);

  explicit IconCache(Renderer renderer = render);

  // The one the process shares, made on first use.
  static const std::shared_ptr<IconCache>& shared();

  std::optional<std::string> png(std::string_view spec);

 private:
  Renderer renderer_;
  std::mutex lock_;
  std::map<std::string, std::string, std::less<>> cache_;
};

}  // namespace meterwright
