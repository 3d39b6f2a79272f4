#include "core/sync/protocol/SyncCoding.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "core/crypto/Base64.h"
#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/sync/protocol/ProviderConfigCoding.h"

namespace meterwright::SyncCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;
using std::chrono::microseconds;

constexpr long long microsPerSecond = 1'000'000;
// Seconds either side of 1970 that a Date can hold; farther numbers are held to it.
constexpr double dateLimit = 9.2e9;

template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

// An enumeration case: {"<name>": value}.
ordered_json caseObject(std::string_view name, ordered_json value) {
  ordered_json object = ordered_json::object();
  object[std::string(name)] = std::move(value);
  return object;
}

// A case that carries one record: {"<name>": {"_0": record}}.
ordered_json wrappedCase(std::string_view name, ordered_json record) {
  return caseObject(name, caseObject("_0", std::move(record)));
}

// The single member of a case object, or nothing when the value is not an object with exactly one
// member.
std::optional<std::pair<std::string, const json*>> soleMember(const json& value) {
  if (!value.is_object() || value.size() != 1) return std::nullopt;
  auto member = value.begin();
  return std::pair<std::string, const json*>{member.key(), &member.value()};
}

std::optional<Uuid> requiredUuid(JsonObjectReader& reader, const char* key) {
  auto text = reader.requiredString(key);
  if (!text) return std::nullopt;
  auto uuid = Uuid::parse(*text);
  if (!uuid) reader.fail();
  return uuid;
}

std::optional<std::string> requiredBytes(JsonObjectReader& reader, const char* key) {
  const json* value = reader.requiredMember(key);
  if (!value) return std::nullopt;
  auto bytes = bytesFromJson(*value);
  if (!bytes) reader.fail();
  return bytes;
}

std::optional<Date> requiredDate(JsonObjectReader& reader, const char* key) {
  const json* value = reader.requiredMember(key);
  if (!value) return std::nullopt;
  auto date = dateFromJson(*value);
  if (!date) reader.fail();
  return date;
}

std::optional<bool> requiredBoolean(JsonObjectReader& reader, const char* key) {
  auto result = reader.boolean(key);
  if (!result) reader.fail();
  return result;
}

// --- Messages

ordered_json recordJson(const SyncMessage::PairRequest& request) {
  ordered_json object = ordered_json::object();
  object["version"] = request.version;
  object["deviceID"] = request.deviceID.text();
  object["deviceName"] = request.deviceName;
  object["platform"] = request.platform;
  object["publicKey"] = bytesToJson(request.publicKey);
  object["proof"] = bytesToJson(request.proof);
  return object;
}

ordered_json recordJson(const SyncMessage::Hello& hello) {
  ordered_json object = ordered_json::object();
  object["version"] = hello.version;
  object["deviceID"] = hello.deviceID.text();
  object["deviceName"] = hello.deviceName;
  object["platform"] = hello.platform;
  return object;
}

ordered_json recordJson(const SyncMessage::PairAccepted& accepted) {
  ordered_json object = ordered_json::object();
  object["version"] = accepted.version;
  object["deviceID"] = accepted.deviceID.text();
  object["deviceName"] = accepted.deviceName;
  object["publicKey"] = bytesToJson(accepted.publicKey);
  object["confirmation"] = bytesToJson(accepted.confirmation);
  return object;
}

ordered_json recordJson(const SyncMessage::Welcome& welcome) {
  ordered_json object = ordered_json::object();
  object["version"] = welcome.version;
  object["deviceID"] = welcome.deviceID.text();
  object["deviceName"] = welcome.deviceName;
  return object;
}

ordered_json recordJson(const SyncEnvelope& envelope) {
  ordered_json object = ordered_json::object();
  object["version"] = envelope.version;
  object["senderID"] = envelope.senderID.text();
  object["sealed"] = bytesToJson(envelope.sealed);
  return object;
}

ordered_json recordJson(const SyncMessage::Failure& failure) {
  ordered_json object = ordered_json::object();
  if (failure.reason) {
    object["reason"] = std::string(SyncMessage::Failure::toString(*failure.reason));
  }
  object["detail"] = failure.detail;
  return object;
}

std::optional<SyncMessage::PairRequest> pairRequestFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = requiredUuid(reader, "deviceID");
  auto deviceName = reader.requiredString("deviceName");
  auto platform = reader.requiredString("platform");
  auto publicKey = requiredBytes(reader, "publicKey");
  auto proof = requiredBytes(reader, "proof");
  if (!reader.ok()) return std::nullopt;
  return SyncMessage::PairRequest{*version,
                                  *deviceID,
                                  std::move(*deviceName),
                                  std::move(*platform),
                                  std::move(*publicKey),
                                  std::move(*proof)};
}

std::optional<SyncMessage::Hello> helloFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = requiredUuid(reader, "deviceID");
  auto deviceName = reader.requiredString("deviceName");
  auto platform = reader.requiredString("platform");
  if (!reader.ok()) return std::nullopt;
  return SyncMessage::Hello{*version, *deviceID, std::move(*deviceName), std::move(*platform)};
}

std::optional<SyncMessage::PairAccepted> pairAcceptedFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = requiredUuid(reader, "deviceID");
  auto deviceName = reader.requiredString("deviceName");
  auto publicKey = requiredBytes(reader, "publicKey");
  auto confirmation = requiredBytes(reader, "confirmation");
  if (!reader.ok()) return std::nullopt;
  return SyncMessage::PairAccepted{*version, *deviceID, std::move(*deviceName),
                                   std::move(*publicKey), std::move(*confirmation)};
}

std::optional<SyncMessage::Welcome> welcomeFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = requiredUuid(reader, "deviceID");
  auto deviceName = reader.requiredString("deviceName");
  if (!reader.ok()) return std::nullopt;
  return SyncMessage::Welcome{*version, *deviceID, std::move(*deviceName)};
}

std::optional<SyncMessage::Failure> failureFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto reasonWord = reader.string("reason");
  auto detail = reader.requiredString("detail");
  if (!reader.ok()) return std::nullopt;
  std::optional<SyncMessage::Failure::Reason> reason;
  if (reasonWord) {
    reason = SyncMessage::Failure::reasonFromString(*reasonWord);
    if (!reason) return std::nullopt;
  }
  return SyncMessage::Failure{reason, std::move(*detail)};
}

template <typename Record>
std::optional<SyncMessage> messageOf(std::optional<Record> record) {
  if (!record) return std::nullopt;
  return SyncMessage{std::move(*record)};
}

// --- Cloud pairing

ordered_json recordJson(const CloudPairingRequest& request) {
  ordered_json object = ordered_json::object();
  object["version"] = request.version;
  object["deviceID"] = request.deviceID.text();
  object["deviceName"] = request.deviceName;
  object["platform"] = request.platform;
  object["publicKey"] = bytesToJson(request.publicKey);
  object["askedAt"] = dateToJson(request.askedAt);
  return object;
}

ordered_json recordJson(const CloudPairingGrant& grant) {
  ordered_json object = ordered_json::object();
  object["version"] = grant.version;
  object["macID"] = grant.macID.text();
  object["macName"] = grant.macName;
  object["publicKey"] = bytesToJson(grant.publicKey);
  object["token"] = grant.token;
  object["grantedAt"] = dateToJson(grant.grantedAt);
  return object;
}

// --- Events

ordered_json eventJson(const SyncEvent::WindowReset& e) {
  ordered_json object = ordered_json::object();
  object["provider"] = e.provider;
  object["providerName"] = e.providerName;
  object["window"] = e.window;
  object["wasSpent"] = e.wasSpent;
  return object;
}

ordered_json eventJson(const SyncEvent::RunningLow& e) {
  ordered_json object = ordered_json::object();
  object["provider"] = e.provider;
  object["providerName"] = e.providerName;
  object["window"] = e.window;
  object["remainingPercent"] = e.remainingPercent;
  return object;
}

ordered_json eventJson(const SyncEvent::Exhausted& e) {
  ordered_json object = ordered_json::object();
  object["provider"] = e.provider;
  object["providerName"] = e.providerName;
  object["window"] = e.window;
  return object;
}

ordered_json eventJson(const SyncEvent::ProviderOffline& e) {
  ordered_json object = ordered_json::object();
  object["provider"] = e.provider;
  object["providerName"] = e.providerName;
  object["reason"] = e.reason;
  return object;
}

ordered_json eventJson(const SyncEvent::SignInExpiring& e) {
  ordered_json object = ordered_json::object();
  object["provider"] = e.provider;
  object["providerName"] = e.providerName;
  object["minutesLeft"] = e.minutesLeft;
  return object;
}

std::optional<SyncEvent> eventCaseFromJson(std::string_view name, const json& value) {
  JsonObjectReader reader(value);
  auto provider = reader.requiredString("provider");
  auto providerName = reader.requiredString("providerName");
  if (!reader.ok()) return std::nullopt;
  std::optional<SyncEvent> event;
  if (name == "windowReset") {
    auto window = reader.requiredString("window");
    auto wasSpent = requiredBoolean(reader, "wasSpent");
    if (reader.ok()) {
      event = SyncEvent{SyncEvent::WindowReset{*provider, *providerName, *window, *wasSpent}};
    }
  } else if (name == "runningLow") {
    auto window = reader.requiredString("window");
    auto remainingPercent = reader.requiredInteger("remainingPercent");
    if (reader.ok()) {
      event =
          SyncEvent{SyncEvent::RunningLow{*provider, *providerName, *window, *remainingPercent}};
    }
  } else if (name == "exhausted") {
    auto window = reader.requiredString("window");
    if (reader.ok()) event = SyncEvent{SyncEvent::Exhausted{*provider, *providerName, *window}};
  } else if (name == "providerOffline") {
    auto reason = reader.requiredString("reason");
    if (reader.ok()) {
      event = SyncEvent{SyncEvent::ProviderOffline{*provider, *providerName, *reason}};
    }
  } else if (name == "signInExpiring") {
    auto minutesLeft = reader.requiredInteger("minutesLeft");
    if (reader.ok()) {
      event = SyncEvent{SyncEvent::SignInExpiring{*provider, *providerName, *minutesLeft}};
    }
  }
  return event;
}

std::optional<std::map<std::string, std::string>> iconsFromJson(const json& value) {
  if (!value.is_object()) return std::nullopt;
  std::map<std::string, std::string> icons;
  for (const auto& [key, bytes] : value.items()) {
    auto decoded = bytesFromJson(bytes);
    if (!decoded) return std::nullopt;
    icons.emplace(key, std::move(*decoded));
  }
  return icons;
}

std::optional<std::string> compactText(const std::optional<ordered_json>& value) {
  if (!value) return std::nullopt;
  return JsonText::compact(*value);
}

}  // namespace

SnapshotCoding::DateCoding dates() {
  return SnapshotCoding::DateCoding{
      [](Date date) -> std::optional<ordered_json> { return dateToJson(date); },
      [](const json& value) { return dateFromJson(value); }};
}

ordered_json dateToJson(Date date) {
  long long total = std::chrono::round<microseconds>(date.time_since_epoch()).count();
  long long whole = total / microsPerSecond;
  long long fraction = total % microsPerSecond;
  if (fraction < 0) {
    fraction += microsPerSecond;
    whole -= 1;
  }
  // One rounding of the sum: the double nearest the instant, which decodes back to it.
  double seconds = static_cast<double>(whole) + static_cast<double>(fraction) / 1e6;
  return ordered_json(*JsonNumber::fromDouble(seconds));
}

std::optional<Date> dateFromJson(const json& value) {
  auto number = JsonNumber::toDouble(value);
  if (!number || !std::isfinite(*number)) return std::nullopt;
  double seconds = std::clamp(*number, -dateLimit, dateLimit);
  double whole = std::floor(seconds);
  long long fraction = std::llround((seconds - whole) * 1e6);
  long long total = static_cast<long long>(whole) * microsPerSecond + fraction;
  return Date{microseconds(total)};
}

ordered_json bytesToJson(std::string_view bytes) {
  return Base64::encode(bytes);
}

std::optional<std::string> bytesFromJson(const json& value) {
  if (!value.is_string()) return std::nullopt;
  return Base64::decode(value.get_ref<const std::string&>());
}

std::optional<ordered_json> toJson(const SyncMessage& message) {
  return std::visit(
      Overloaded{
          [&](const SyncMessage::RequestSnapshot&) {
            return caseObject(message.caseName(), ordered_json::object());
          },
          [&](const auto& record) { return wrappedCase(message.caseName(), recordJson(record)); },
      },
      message.value);
}

std::optional<ordered_json> toJson(const SyncEnvelope& envelope) {
  return recordJson(envelope);
}

std::optional<ordered_json> toJson(const CloudPairingRequest& request) {
  return recordJson(request);
}

std::optional<ordered_json> toJson(const CloudPairingGrant& grant) {
  return recordJson(grant);
}

std::optional<ordered_json> toJson(const SyncEvent& event) {
  return caseObject(event.caseName(),
                    std::visit([](const auto& each) { return eventJson(each); }, event.value));
}

std::optional<ordered_json> toJson(const SyncPayload& payload) {
  auto snapshot = SnapshotCoding::toJson(payload.snapshot, dates());
  if (!snapshot) return std::nullopt;
  ordered_json providers = ordered_json::array();
  for (const ProviderConfig& entry : payload.providers) {
    auto encoded = ProviderConfigCoding::toJson(entry);
    if (!encoded) return std::nullopt;
    providers.push_back(std::move(*encoded));
  }
  ordered_json events = ordered_json::array();
  for (const SyncEvent& event : payload.events) events.push_back(*toJson(event));
  ordered_json icons = ordered_json::object();
  for (const auto& [id, bytes] : payload.icons) icons[id] = bytesToJson(bytes);

  ordered_json object = ordered_json::object();
  object["version"] = payload.version;
  object["sentAt"] = dateToJson(payload.sentAt);
  object["sourceName"] = payload.sourceName;
  object["snapshot"] = std::move(*snapshot);
  object["providers"] = std::move(providers);
  object["metric"] = toString(payload.metric);
  object["warnBelowRemainingPercent"] = payload.warnBelowRemainingPercent;
  object["events"] = std::move(events);
  object["icons"] = std::move(icons);
  return object;
}

std::optional<SyncMessage> messageFromJson(const json& value) {
  auto member = soleMember(value);
  if (!member) return std::nullopt;
  const auto& [name, body] = *member;
  if (!body->is_object()) return std::nullopt;
  if (name == "requestSnapshot") return SyncMessage{SyncMessage::RequestSnapshot{}};

  auto record = body->find("_0");
  if (record == body->end()) return std::nullopt;
  if (name == "pairRequest") return messageOf(pairRequestFromJson(*record));
  if (name == "hello") return messageOf(helloFromJson(*record));
  if (name == "pairAccepted") return messageOf(pairAcceptedFromJson(*record));
  if (name == "welcomeBack") return messageOf(welcomeFromJson(*record));
  if (name == "snapshot") return messageOf(envelopeFromJson(*record));
  if (name == "failure") return messageOf(failureFromJson(*record));
  return std::nullopt;
}

std::optional<SyncEnvelope> envelopeFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto senderID = requiredUuid(reader, "senderID");
  auto sealed = requiredBytes(reader, "sealed");
  if (!reader.ok()) return std::nullopt;
  return SyncEnvelope{*version, *senderID, std::move(*sealed)};
}

std::optional<CloudPairingRequest> cloudPairingRequestFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto deviceID = requiredUuid(reader, "deviceID");
  auto deviceName = reader.requiredString("deviceName");
  auto platform = reader.requiredString("platform");
  auto publicKey = requiredBytes(reader, "publicKey");
  auto askedAt = requiredDate(reader, "askedAt");
  if (!reader.ok()) return std::nullopt;
  return CloudPairingRequest{
      *version, *deviceID, std::move(*deviceName), std::move(*platform), std::move(*publicKey),
      *askedAt};
}

std::optional<CloudPairingGrant> cloudPairingGrantFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  auto macID = requiredUuid(reader, "macID");
  auto macName = reader.requiredString("macName");
  auto publicKey = requiredBytes(reader, "publicKey");
  auto token = reader.requiredString("token");
  auto grantedAt = requiredDate(reader, "grantedAt");
  if (!reader.ok()) return std::nullopt;
  return CloudPairingGrant{*version,          *macID,    std::move(*macName), std::move(*publicKey),
                           std::move(*token), *grantedAt};
}

std::optional<SyncEvent> eventFromJson(const json& value) {
  auto member = soleMember(value);
  if (!member) return std::nullopt;
  return eventCaseFromJson(member->first, *member->second);
}

std::optional<SyncPayload> payloadFromJson(const json& value) {
  JsonObjectReader reader(value);
  auto version = reader.requiredInteger("version");
  const json* sentAtValue = reader.requiredMember("sentAt");
  auto sourceName = reader.requiredString("sourceName");
  const json* snapshotValue = reader.requiredMember("snapshot");
  const json* providerValues = reader.requiredArray("providers");
  auto metricWord = reader.requiredString("metric");
  auto warnBelowRemainingPercent = reader.requiredInteger("warnBelowRemainingPercent");
  const json* eventValues = reader.array("events");
  const json* iconValues = reader.member("icons");
  if (!reader.ok()) return std::nullopt;

  SyncPayload payload;
  payload.version = *version;
  auto sentAt = dateFromJson(*sentAtValue);
  auto snapshot = SnapshotCoding::snapshotFromJson(*snapshotValue, dates());
  auto metric = metricFromString(*metricWord);
  if (!sentAt || !snapshot || !metric) return std::nullopt;
  payload.sentAt = *sentAt;
  payload.sourceName = std::move(*sourceName);
  payload.snapshot = std::move(*snapshot);
  payload.metric = *metric;
  payload.warnBelowRemainingPercent = *warnBelowRemainingPercent;

  payload.providers.reserve(providerValues->size());
  for (const json& each : *providerValues) {
    auto entry = ProviderConfigCoding::providerConfigFromJson(each);
    if (!entry) return std::nullopt;
    payload.providers.push_back(std::move(*entry));
  }
  if (eventValues) {
    payload.events.reserve(eventValues->size());
    for (const json& each : *eventValues) {
      auto event = eventFromJson(each);
      if (!event) return std::nullopt;
      payload.events.push_back(std::move(*event));
    }
  }
  if (iconValues) {
    auto icons = iconsFromJson(*iconValues);
    if (!icons) return std::nullopt;
    payload.icons = std::move(*icons);
  }
  return payload;
}

std::optional<std::string> encode(const SyncMessage& message) {
  return compactText(toJson(message));
}

std::optional<std::string> encode(const SyncPayload& payload) {
  return compactText(toJson(payload));
}

std::optional<std::string> encode(const SyncEnvelope& envelope) {
  return compactText(toJson(envelope));
}

std::optional<std::string> encode(const SyncEvent& event) {
  return compactText(toJson(event));
}

std::optional<std::string> encode(const CloudPairingRequest& request) {
  return compactText(toJson(request));
}

std::optional<std::string> encode(const CloudPairingGrant& grant) {
  return compactText(toJson(grant));
}

std::optional<SyncMessage> decodeMessage(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return messageFromJson(*value);
}

std::optional<SyncPayload> decodePayload(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return payloadFromJson(*value);
}

std::optional<SyncEnvelope> decodeEnvelope(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return envelopeFromJson(*value);
}

std::optional<SyncEvent> decodeEvent(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return eventFromJson(*value);
}

std::optional<CloudPairingRequest> decodeCloudPairingRequest(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return cloudPairingRequestFromJson(*value);
}

std::optional<CloudPairingGrant> decodeCloudPairingGrant(std::string_view text) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  return cloudPairingGrantFromJson(*value);
}

}  // namespace meterwright::SyncCoding
