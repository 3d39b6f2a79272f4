#include "core/usage/SnapshotCoding.h"

#include <string_view>
#include <utility>

#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/time/Iso8601.h"

namespace meterwright::SnapshotCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;
using namespace std::chrono;

bool putDate(ordered_json& object, const char* key, const std::optional<Date>& date,
             const DateCoding& dates) {
  if (!date) return true;
  if (!dates.toJson) return false;
  auto value = dates.toJson(*date);
  if (!value) return false;
  object[key] = std::move(*value);
  return true;
}

// A refused date fails the decode like a mistyped member.
std::optional<Date> readDate(JsonObjectReader& reader, const json* value, const DateCoding& dates) {
  if (!value) return std::nullopt;
  std::optional<Date> date = dates.fromJson ? dates.fromJson(*value) : std::nullopt;
  if (!date) reader.fail();
  return date;
}

}  // namespace

DateCoding iso8601() {
  return DateCoding{
      [](Date date) -> std::optional<ordered_json> { return ordered_json(Iso8601::format(date)); },
      [](const json& value) -> std::optional<Date> {
        if (!value.is_string()) return std::nullopt;
        return Iso8601::parse(value.get_ref<const std::string&>());
      }};
}

std::optional<ordered_json> toJson(const UsageWindow& window, const DateCoding& dates) {
  auto usedPercent = JsonNumber::fromDouble(window.usedPercent);
  if (!usedPercent) return std::nullopt;
  ordered_json object = ordered_json::object();
  object["windowMinutes"] = window.windowMinutes;
  object["usedPercent"] = ordered_json(*usedPercent);
  if (!putDate(object, "resetsAt", window.resetsAt, dates)) return std::nullopt;
  if (window.group) object["group"] = *window.group;
  return object;
}

std::optional<ordered_json> toJson(const ProviderSnapshot& provider, const DateCoding& dates) {
  ordered_json windows = ordered_json::array();
  for (const UsageWindow& window : provider.windows) {
    auto encoded = toJson(window, dates);
    if (!encoded) return std::nullopt;
    windows.push_back(std::move(*encoded));
  }
  ordered_json object = ordered_json::object();
  object["id"] = provider.id;
  object["name"] = provider.name;
  if (provider.plan) object["plan"] = *provider.plan;
  object["state"] = provider.state;
  if (!putDate(object, "observedAt", provider.observedAt, dates)) return std::nullopt;
  object["windows"] = std::move(windows);
  return object;
}

std::optional<ordered_json> toJson(const Snapshot& snapshot, const DateCoding& dates) {
  ordered_json object = ordered_json::object();
  if (!putDate(object, "generatedAt", snapshot.generatedAt, dates)) return std::nullopt;
  ordered_json providers = ordered_json::array();
  for (const ProviderSnapshot& provider : snapshot.providers) {
    auto encoded = toJson(provider, dates);
    if (!encoded) return std::nullopt;
    providers.push_back(std::move(*encoded));
  }
  object["providers"] = std::move(providers);
  if (snapshot.sourceName) object["sourceName"] = *snapshot.sourceName;
  object["sourcePath"] = snapshot.sourcePath;
  return object;
}

std::optional<UsageWindow> usageWindowFromJson(const json& value, const DateCoding& dates) {
  JsonObjectReader reader(value);
  auto windowMinutes = reader.requiredInteger("windowMinutes");
  auto usedPercent = reader.requiredNumber("usedPercent");
  auto resetsAt = readDate(reader, reader.member("resetsAt"), dates);
  auto group = reader.string("group");
  if (!reader.ok()) return std::nullopt;
  return UsageWindow{*windowMinutes, *usedPercent, resetsAt, std::move(group)};
}

std::optional<ProviderSnapshot> providerSnapshotFromJson(const json& value,
                                                         const DateCoding& dates) {
  JsonObjectReader reader(value);
  auto id = reader.requiredString("id");
  auto name = reader.requiredString("name");
  auto plan = reader.string("plan");
  auto state = reader.requiredString("state");
  auto observedAt = readDate(reader, reader.member("observedAt"), dates);
  const json* windowValues = reader.requiredArray("windows");
  if (!reader.ok()) return std::nullopt;

  std::vector<UsageWindow> windows;
  windows.reserve(windowValues->size());
  for (const json& each : *windowValues) {
    auto window = usageWindowFromJson(each, dates);
    if (!window) return std::nullopt;
    windows.push_back(std::move(*window));
  }
  return ProviderSnapshot{std::move(*id),    std::move(*name), std::move(plan),
                          std::move(*state), observedAt,       std::move(windows)};
}

std::optional<Snapshot> snapshotFromJson(const json& value, const DateCoding& dates) {
  JsonObjectReader reader(value);
  auto generatedAt = readDate(reader, reader.requiredMember("generatedAt"), dates);
  const json* providerValues = reader.requiredArray("providers");
  auto sourceName = reader.string("sourceName");
  auto sourcePath = reader.requiredString("sourcePath");
  if (!reader.ok()) return std::nullopt;

  std::vector<ProviderSnapshot> providers;
  providers.reserve(providerValues->size());
  for (const json& each : *providerValues) {
    auto provider = providerSnapshotFromJson(each, dates);
    if (!provider) return std::nullopt;
    providers.push_back(std::move(*provider));
  }
  return Snapshot{*generatedAt, std::move(providers), std::move(sourceName),
                  std::move(*sourcePath)};
}

}  // namespace meterwright::SnapshotCoding
