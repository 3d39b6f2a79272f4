#include "core/sync/protocol/ProviderConfigCoding.h"

#include <utility>

#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"

namespace meterwright::ProviderConfigCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

bool noApplicationInstalled(const std::string&) {
  return false;
}

}  // namespace

std::optional<ordered_json> toJson(const ProviderConfig& entry) {
  auto pollSeconds = JsonNumber::fromDouble(entry.pollSeconds);
  if (!pollSeconds) return std::nullopt;
  ordered_json windows = ordered_json::array();
  for (int minutes : entry.windows) windows.push_back(minutes);
  ordered_json object = ordered_json::object();
  object["id"] = entry.id;
  object["label"] = entry.label;
  object["enabled"] = entry.enabled;
  object["windows"] = std::move(windows);
  object["icon"] = entry.icon;
  object["accent"] = entry.accent;
  object["pollSeconds"] = ordered_json(*pollSeconds);
  return object;
}

std::optional<ProviderConfig> providerConfigFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto id = reader.requiredString("id");
  if (!reader.ok()) return std::nullopt;

  ProviderConfig entry = ProviderConfig::defaults(*id, noApplicationInstalled);
  if (auto label = reader.string("label")) entry.label = std::move(*label);
  if (auto enabled = reader.boolean("enabled")) entry.enabled = *enabled;
  if (const json* windows = reader.array("windows")) {
    entry.windows.clear();
    for (const json& element : *windows) {
      auto minutes = JsonNumber::toInt(element);
      if (!minutes) return std::nullopt;
      entry.windows.push_back(*minutes);
    }
  }
  if (auto icon = reader.string("icon")) entry.icon = std::move(*icon);
  if (auto accent = reader.string("accent")) entry.accent = std::move(*accent);
  if (auto pollSeconds = reader.number("pollSeconds")) entry.pollSeconds = *pollSeconds;
  if (!reader.ok()) return std::nullopt;
  return entry;
}

}  // namespace meterwright::ProviderConfigCoding
