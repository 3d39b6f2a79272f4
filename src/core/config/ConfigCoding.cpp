#include "core/config/ConfigCoding.h"

#include <algorithm>

#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/providers/PollingPolicy.h"
#include "core/providers/ProviderDefaults.h"
#include "core/text/TextCase.h"

namespace meterwright::ConfigCoding {

namespace {

using json = nlohmann::json;

// A configuration still on a colour an earlier version chose by default gets today's default.
std::string migratedAccent(const std::string& accent, const std::string& id) {
  std::string key = TextCase::lowercased(id);
  auto legacy = ProviderDefaults::legacyAccents();
  auto entry = legacy.find(key);
  if (entry == legacy.end() || !entry->second.contains(TextCase::uppercased(accent))) return accent;
  return ProviderDefaults::accents().at(key);
}

// An icon left on a default symbol follows the suggestion, so the real application icon is
// picked up once the application is installed.
std::string migratedIcon(const std::string& icon, const std::string& id, const PathExists& exists) {
  if (!ProviderDefaults::legacySymbols().contains(icon)) return icon;
  return ProviderDefaults::suggestedIcon(id, exists);
}

std::optional<std::vector<int>> windowsFromJson(const json& array) {
  std::vector<int> windows;
  for (const json& element : array) {
    auto minutes = JsonNumber::toClampedInt(element);
    if (!minutes) return std::nullopt;
    windows.push_back(*minutes);
  }
  return windows;
}

std::optional<ProviderConfig> providerFromJson(const json& value, const PathExists& exists) {
  JsonObjectReader reader(value);
  auto id = reader.requiredString("id");
  if (!reader.ok()) return std::nullopt;

  ProviderConfig entry = ProviderConfig::defaults(*id, exists);
  if (auto label = reader.string("label")) entry.label = *label;
  if (auto enabled = reader.boolean("enabled")) entry.enabled = *enabled;
  if (const json* windows = reader.array("windows")) {
    auto decoded = windowsFromJson(*windows);
    if (!decoded) return std::nullopt;
    entry.windows = std::move(*decoded);
  }
  if (auto icon = reader.string("icon")) entry.icon = migratedIcon(*icon, *id, exists);
  if (auto accent = reader.string("accent")) entry.accent = migratedAccent(*accent, *id);
  if (auto pollSeconds = reader.number("pollSeconds")) entry.pollSeconds = *pollSeconds;
  if (!reader.ok()) return std::nullopt;
  return entry;
}

std::optional<json> toJson(const ProviderConfig& entry) {
  auto pollSeconds = JsonNumber::fromDouble(entry.pollSeconds);
  if (!pollSeconds) return std::nullopt;
  json windows = json::array();
  for (int minutes : entry.windows) windows.push_back(minutes);
  return json{
      {"id", entry.id},
      {"label", entry.label},
      {"enabled", entry.enabled},
      {"windows", std::move(windows)},
      {"icon", entry.icon},
      {"accent", entry.accent},
      {"pollSeconds", *pollSeconds},
  };
}

}  // namespace

std::optional<Config> decodeConfig(std::string_view text, const PathExists& exists) {
  auto parsed = JsonText::parse(text);
  if (!parsed) return std::nullopt;
  JsonObjectReader reader(*parsed);
  if (!reader.ok()) return std::nullopt;

  Config config = Config::fallback(exists);
  if (const json* providers = reader.array("providers")) {
    config.providers.clear();
    for (const json& element : *providers) {
      auto entry = providerFromJson(element, exists);
      if (!entry) return std::nullopt;
      config.providers.push_back(std::move(*entry));
    }
  }
  if (auto metric = reader.string("metric")) {
    auto decoded = metricFromString(*metric);
    if (!decoded) return std::nullopt;
    config.metric = *decoded;
  }
  if (auto value = reader.string("style")) config.style = *value;
  if (auto value = reader.clampedInteger("barSegments")) config.barSegments = *value;
  if (auto value = reader.string("separator")) config.separator = *value;
  if (auto value = reader.number("refreshSeconds")) {
    config.refreshSeconds = std::max(*value, PollingPolicy::redrawFloor);
  }
  if (auto value = reader.clampedInteger("warnBelowRemainingPercent")) {
    config.warnBelowRemainingPercent = *value;
  }
  if (auto value = reader.boolean("notifications")) config.notifications = *value;
  if (auto value = reader.boolean("notificationSound")) config.notificationSound = *value;
  if (auto value = reader.clampedInteger("staleAfterMinutes")) config.staleAfterMinutes = *value;
  if (auto value = reader.boolean("showWindowLabels")) config.showWindowLabels = *value;
  if (auto value = reader.string("menuBarStyle")) config.menuBarStyle = *value;
  if (auto value = reader.boolean("touchBar")) config.touchBar = *value;
  if (auto value = reader.string("touchBarStyle")) config.touchBarStyle = *value;
  if (auto value = reader.boolean("showMetricWord")) config.showMetricWord = *value;
  if (auto value = reader.boolean("showPlanBadge")) config.showPlanBadge = *value;
  if (auto value = reader.boolean("tintWindowLabels")) config.tintWindowLabels = *value;
  if (auto value = reader.boolean("claudeDirect")) config.claudeDirect = *value;
  if (auto value = reader.string("language")) config.language = *value;
  if (!reader.ok()) return std::nullopt;
  return config;
}

std::optional<std::string> encode(const Config& config) {
  // NaN and infinities have no JSON form; such a configuration is not written at all.
  json providers = json::array();
  for (const ProviderConfig& entry : config.providers) {
    auto encoded = toJson(entry);
    if (!encoded) return std::nullopt;
    providers.push_back(std::move(*encoded));
  }
  auto refreshSeconds = JsonNumber::fromDouble(config.refreshSeconds);
  if (!refreshSeconds) return std::nullopt;
  json document = {
      {"providers", std::move(providers)},
      {"metric", toString(config.metric)},
      {"style", config.style},
      {"barSegments", config.barSegments},
      {"separator", config.separator},
      {"refreshSeconds", *refreshSeconds},
      {"warnBelowRemainingPercent", config.warnBelowRemainingPercent},
      {"notifications", config.notifications},
      {"notificationSound", config.notificationSound},
      {"staleAfterMinutes", config.staleAfterMinutes},
      {"showWindowLabels", config.showWindowLabels},
      {"menuBarStyle", config.menuBarStyle},
      {"touchBar", config.touchBar},
      {"touchBarStyle", config.touchBarStyle},
      {"showMetricWord", config.showMetricWord},
      {"showPlanBadge", config.showPlanBadge},
      {"tintWindowLabels", config.tintWindowLabels},
      {"claudeDirect", config.claudeDirect},
      {"language", config.language},
  };
  auto text = JsonText::prettySorted(document);
  if (!text) return std::nullopt;
  return *text + "\n";
}

}  // namespace meterwright::ConfigCoding
