#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/ProviderConfig.h"
#include "core/files/FileLocations.h"

namespace meterwright {

// The user's preferences, as held in ~/.config/meterwright/config.json. A plain value: every
// holder keeps its own copy and replaces it when a new one is applied.
struct Config {
  // Whether numbers show the used or the remaining share.
  enum class Metric { used, remaining };

  std::vector<ProviderConfig> providers;
  Metric metric = Metric::remaining;
  // Text summary style: "bar", "both", anything else the number only.
  std::string style = "percent";
  int barSegments = 6;
  std::string separator = "  \u00B7  ";
  // Menu bar redraw interval; never below the redraw floor once read.
  double refreshSeconds = 60;
  int warnBelowRemainingPercent = 20;
  bool notifications = true;
  bool notificationSound = true;
  int staleAfterMinutes = 20;
  bool showWindowLabels = true;
  // "text", "detailed", anything else the compact bars.
  std::string menuBarStyle = "detailed";
  bool touchBar = true;
  std::string touchBarStyle = "detailed";
  bool showMetricWord = true;
  bool showPlanBadge = true;
  bool tintWindowLabels = false;
  bool claudeDirect = true;
  // Launch language; empty means the system language.
  std::string language;

  bool operator==(const Config&) const = default;

  // The first entry whose id equals `id` ignoring case.
  const ProviderConfig* provider(std::string_view id) const;
  std::vector<ProviderConfig> enabledProviders() const;

  // The built-in configuration: one entry per catalogue provider, in catalogue order, with the
  // suggested icon for each, and the global defaults above. Built once, against the real disk.
  static const Config& fallback();
  // The same, built now against `exists` (tests decide which applications are installed).
  static Config fallback(const PathExists& exists);
};

// "used" / "remaining"; nothing for any other word.
std::optional<Config::Metric> metricFromString(std::string_view text);
const char* toString(Config::Metric metric);

}  // namespace meterwright
