#include <benchmark/benchmark.h>

#include <string_view>

#include "core/format/Format.h"
#include "core/format/Plan.h"

namespace meterwright {
namespace {

// 2025-03-01T09:30:00Z
const Date now = dateFromUnixSeconds(1'740'821'400);

void BM_FormatRelative(benchmark::State& state) {
  double seconds = 90'061;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format::relative(seconds));
    seconds += 61;
  }
}
BENCHMARK(BM_FormatRelative);

void BM_FormatPercent(benchmark::State& state) {
  double value = 37.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format::percent(value));
    value += 0.25;
  }
}
BENCHMARK(BM_FormatPercent);

void BM_FormatHeadline(benchmark::State& state) {
  // The two paths a redraw takes: a percentage, and a spent window's countdown.
  const UsageWindow partly{300, 37.5, addingSeconds(now, 7500), std::nullopt};
  const UsageWindow spent{300, 100, addingSeconds(now, 7500), std::nullopt};
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format::headline(partly, Config::Metric::remaining, now));
    benchmark::DoNotOptimize(Format::headline(spent, Config::Metric::remaining, now));
  }
}
BENCHMARK(BM_FormatHeadline);

void BM_FormatCaption(benchmark::State& state) {
  const UsageWindow window{10080, 40, addingSeconds(now, 3 * 86400 + 7500), std::nullopt};
  for (auto _ : state) benchmark::DoNotOptimize(Format::caption(window, now));
}
BENCHMARK(BM_FormatCaption);

void BM_FormatClockTime(benchmark::State& state) {
  // Same day, weekday and month-day templates in turn.
  const Date dates[] = {addingSeconds(now, 3600), addingSeconds(now, 3 * 86400),
                        addingSeconds(now, 10 * 86400)};
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format::clockTime(dates[i], now));
    i = (i + 1) % 3;
  }
}
BENCHMARK(BM_FormatClockTime);

void BM_PlanBadge(benchmark::State& state) {
  const std::string_view plans[] = {" MAX_20X \n", "default", "claude_max_trial", "pro"};
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Plan::badge(plans[i]));
    i = (i + 1) % 4;
  }
}
BENCHMARK(BM_PlanBadge);

}  // namespace
}  // namespace meterwright
