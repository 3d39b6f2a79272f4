#include "core/readers/codex/CodexRateLimits.h"

#include <algorithm>

#include "core/format/Plan.h"
#include "core/json/JsonNumber.h"

namespace meterwright::CodexRateLimits {

namespace {

using json = nlohmann::json;

const json* objectMember(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  if (found == object.end() || !found->is_object()) return nullptr;
  return &*found;
}

std::optional<std::string> stringMember(const json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

// Primary first, then secondary; either may be missing or unusable.
void appendWindows(const json& limit, const std::optional<std::string>& group,
                   std::vector<UsageWindow>& windows) {
  for (const char* key : {"primary", "secondary"}) {
    if (!limit.is_object()) return;
    auto found = limit.find(key);
    if (found == limit.end()) continue;
    if (auto built = window(*found, group)) windows.push_back(std::move(*built));
  }
}

}  // namespace

std::optional<UsageWindow> window(const json& value, const std::optional<std::string>& group) {
  if (!value.is_object()) return std::nullopt;
  auto used = value.find("usedPercent");
  auto minutes = value.find("windowDurationMins");
  if (used == value.end() || minutes == value.end()) return std::nullopt;
  std::optional<double> usedPercent = JsonNumber::toDouble(*used);
  std::optional<int> windowMinutes = JsonNumber::toInt(*minutes);
  if (!usedPercent || !windowMinutes) return std::nullopt;

  UsageWindow built;
  built.windowMinutes = *windowMinutes;
  built.usedPercent = *usedPercent;
  built.group = group;
  auto resets = value.find("resetsAt");
  if (resets != value.end()) {
    if (std::optional<double> seconds = JsonNumber::toDouble(*resets)) {
      built.resetsAt = dateFromUnixSeconds(*seconds);
    }
  }
  return built;
}

Reading read(const json& result) {
  const json* mainLimit = objectMember(result, "rateLimits");
  if (!mainLimit) mainLimit = &result;
  std::optional<std::string> mainId = stringMember(*mainLimit, "limitId");

  std::vector<UsageWindow> ungrouped;
  appendWindows(*mainLimit, std::nullopt, ungrouped);

  std::vector<UsageWindow> grouped;
  if (const json* byId = objectMember(result, "rateLimitsByLimitId")) {
    // nlohmann's object keeps its keys in ascending byte order, the order entries are visited in.
    for (const auto& [key, entry] : byId->items()) {
      if (!entry.is_object()) continue;
      std::string identity = stringMember(entry, "limitId").value_or(key);
      if (mainId && *mainId == identity) continue;
      std::string group = stringMember(entry, "limitName").value_or(identity);
      appendWindows(entry, group, grouped);
    }
  }

  std::stable_sort(
      ungrouped.begin(), ungrouped.end(),
      [](const UsageWindow& a, const UsageWindow& b) { return a.windowMinutes < b.windowMinutes; });
  Reading reading;
  reading.windows = std::move(ungrouped);
  reading.windows.insert(reading.windows.end(), grouped.begin(), grouped.end());
  std::optional<std::string> planType = stringMember(*mainLimit, "planType");
  reading.plan = Plan::badge(planType ? std::optional<std::string_view>(*planType) : std::nullopt);
  return reading;
}

}  // namespace meterwright::CodexRateLimits
