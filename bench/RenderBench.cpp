#include <benchmark/benchmark.h>

#include "core/display/DisplayEntry.h"
#include "desktop/render/MenuBarImage.h"
#include "desktop/render/ProviderRow.h"
#include "desktop/render/TouchBarImage.h"

namespace meterwright {
namespace {

// 2025-03-01T09:30:00Z
const Date now = dateFromUnixSeconds(1'740'821'400);

// Two providers as a default configuration shows them: built-in symbols, plans, two windows
// each, one of them grouped.
std::vector<DisplayEntry> entries() {
  auto make = [](std::string id, std::string icon, ColorToken accent) {
    DisplayEntry entry;
    entry.id = id;
    entry.name = id;
    entry.label = id;
    entry.plan = "max";
    entry.accentToken = accent;
    entry.iconName = std::move(icon);
    entry.hasData = true;
    entry.windows = {{300, 42, addingSeconds(now, 7500), std::nullopt},
                     {10080, 87.5, addingSeconds(now, 86400), std::nullopt}};
    entry.detailedWindows = entry.windows;
    entry.detailedWindows.push_back({10080, 30, std::nullopt, "opus"});
    return entry;
  };
  return {make("claude", "sparkle", {0.85, 0.47, 0.34, 1}),
          make("codex", "chevron.left.forwardslash.chevron.right", {0.18, 0.42, 0.9, 1})};
}

// What the tray does on every redraw: lay the picture out, then draw it at the screen's scale.
void BM_MenuBarImageAt2x(benchmark::State& state) {
  auto shown = entries();
  Config config;
  config.menuBarStyle = state.range(0) ? "detailed" : "bars";
  for (auto _ : state) {
    auto image = MenuBarImage::make(shown, config, false, {.dark = false, .now = now});
    if (!image) {
      state.SkipWithError("no image for two providers");
      break;
    }
    benchmark::DoNotOptimize(image->rasterise(2));
  }
}
BENCHMARK(BM_MenuBarImageAt2x)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ProviderRowAt2x(benchmark::State& state) {
  DisplayEntry entry = entries().front();
  Config config;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ProviderRow::image(entry, config, ProviderRow::defaultWidth, {.dark = true, .now = now})
            .rasterise(2));
  }
}
BENCHMARK(BM_ProviderRowAt2x)->Unit(benchmark::kMicrosecond);

void BM_TouchBarStripAt2x(benchmark::State& state) {
  auto shown = entries();
  Config config;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        TouchBarImage::strip(shown, config, {.dark = true, .now = now}).rasterise(2));
  }
}
BENCHMARK(BM_TouchBarStripAt2x)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace meterwright
