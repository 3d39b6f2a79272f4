#include "core/control/ControlCoding.h"

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <utility>

#include "core/json/JsonObjectReader.h"

namespace meterwright::ControlCoding {

namespace {

using json = nlohmann::json;

constexpr std::array<std::pair<ControlRequestKind, std::string_view>, 7> requestNames{{
    {ControlRequestKind::show, "show"},
    {ControlRequestKind::status, "status"},
    {ControlRequestKind::devices, "devices"},
    {ControlRequestKind::revoke, "revoke"},
    {ControlRequestKind::pair, "pair"},
    {ControlRequestKind::diagnose, "diagnose"},
    {ControlRequestKind::wake, "wake"},
}};

std::string line(const json& object) {
  // Names come from other devices: bytes that are not UTF-8 are replaced, never thrown over.
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<json> parsed(std::string_view text) {
  json value = json::parse(text, nullptr, false);
  if (value.is_discarded() || !value.is_object()) return std::nullopt;
  return value;
}

// A yes or no that must be there.
std::optional<bool> requiredBoolean(JsonObjectReader& reader, const char* key) {
  std::optional<bool> value = reader.boolean(key);
  if (!value) reader.fail();
  return value;
}

// Whether the object is of this version; absent or of the wrong type fails the reader.
bool versionOne(JsonObjectReader& reader) {
  std::optional<int> version = reader.requiredInteger("version");
  return version == controlProtocolVersion;
}

json encodeDevice(const ControlDevice& device) {
  json object{{"id", device.id},
              {"name", device.name},
              {"platform", device.platform},
              {"pairedAt", device.pairedAt}};
  if (device.lastSeenAt) object["lastSeenAt"] = *device.lastSeenAt;
  return object;
}

std::optional<ControlDevice> decodeDevice(const json& value) {
  JsonObjectReader reader(value);
  ControlDevice device;
  device.id = reader.requiredString("id").value_or("");
  device.name = reader.requiredString("name").value_or("");
  device.platform = reader.requiredString("platform").value_or("");
  device.pairedAt = reader.requiredNumber("pairedAt").value_or(0);
  device.lastSeenAt = reader.number("lastSeenAt");
  if (!reader.ok()) return std::nullopt;
  return device;
}

json encodeInvitation(const ControlInvitation& invitation) {
  return json{{"code", invitation.code},
              {"link", invitation.link},
              {"port", invitation.port},
              {"addresses", invitation.addresses},
              {"expiresAt", invitation.expiresAt}};
}

std::optional<ControlInvitation> decodeInvitation(const json& value) {
  JsonObjectReader reader(value);
  ControlInvitation invitation;
  invitation.code = reader.requiredString("code").value_or("");
  invitation.link = reader.requiredString("link").value_or("");
  invitation.port = reader.requiredInteger("port").value_or(-1);
  invitation.expiresAt = reader.requiredNumber("expiresAt").value_or(0);
  if (const json* addresses = reader.requiredArray("addresses")) {
    for (const json& address : *addresses) {
      if (!address.is_string()) return std::nullopt;
      invitation.addresses.push_back(address.get<std::string>());
    }
  }
  if (!reader.ok() || invitation.port < 0 || invitation.port > 65535) return std::nullopt;
  return invitation;
}

json encodeRoutes(const std::vector<ControlRoute>& routes) {
  json list = json::array();
  for (const ControlRoute& route : routes) {
    json object{{"name", route.name}, {"available", route.available}};
    if (route.reason) object["reason"] = *route.reason;
    list.push_back(std::move(object));
  }
  return list;
}

bool decodeRoutes(const json* list, std::vector<ControlRoute>& routes) {
  if (!list) return true;
  for (const json& each : *list) {
    JsonObjectReader reader(each);
    ControlRoute route;
    route.name = reader.requiredString("name").value_or("");
    route.available = requiredBoolean(reader, "available").value_or(false);
    route.reason = reader.string("reason");
    if (!reader.ok()) return false;
    routes.push_back(std::move(route));
  }
  return true;
}

json encodeDiagnosis(const ControlDiagnosis& diagnosis) {
  json object{{"trayItemRegistered", diagnosis.trayItemRegistered},
              {"publishing", diagnosis.publishing},
              {"listening", diagnosis.listening},
              {"deviceName", diagnosis.deviceName},
              {"pairedDevices", diagnosis.pairedDevices},
              {"transports", encodeRoutes(diagnosis.transports)},
              {"absentRoutes", encodeRoutes(diagnosis.absentRoutes)}};
  if (diagnosis.lastError) object["lastError"] = *diagnosis.lastError;
  return object;
}

std::optional<ControlDiagnosis> decodeDiagnosis(const json& value) {
  JsonObjectReader reader(value);
  ControlDiagnosis diagnosis;
  diagnosis.trayItemRegistered = requiredBoolean(reader, "trayItemRegistered").value_or(false);
  diagnosis.publishing = requiredBoolean(reader, "publishing").value_or(false);
  diagnosis.listening = requiredBoolean(reader, "listening").value_or(false);
  diagnosis.lastError = reader.string("lastError");
  diagnosis.deviceName = reader.requiredString("deviceName").value_or("");
  diagnosis.pairedDevices = reader.requiredInteger("pairedDevices").value_or(-1);
  if (!decodeRoutes(reader.requiredArray("transports"), diagnosis.transports) ||
      !decodeRoutes(reader.requiredArray("absentRoutes"), diagnosis.absentRoutes) || !reader.ok() ||
      diagnosis.pairedDevices < 0)
    return std::nullopt;
  return diagnosis;
}

}  // namespace

std::string encode(const ControlRequest& request) {
  json object{{"version", controlProtocolVersion}};
  for (const auto& [kind, name] : requestNames) {
    if (kind == request.kind) object["request"] = name;
  }
  if (request.kind == ControlRequestKind::revoke) object["device"] = request.device;
  return line(object);
}

std::string encode(const ControlAnswer& answer) {
  json object{{"version", controlProtocolVersion}, {"ok", answer.ok()}};
  if (answer.failure) {
    object["error"] = answer.failure->kind;
    object["message"] = answer.failure->message;
  }
  if (answer.headless) object["headless"] = *answer.headless;
  if (answer.pid) object["pid"] = *answer.pid;
  if (!answer.devices.empty()) {
    json devices = json::array();
    for (const ControlDevice& device : answer.devices) devices.push_back(encodeDevice(device));
    object["devices"] = std::move(devices);
  }
  if (answer.invitation) object["invitation"] = encodeInvitation(*answer.invitation);
  if (answer.diagnosis) object["diagnosis"] = encodeDiagnosis(*answer.diagnosis);
  return line(object);
}

std::string encode(const ControlEvent& event) {
  json object{{"version", controlProtocolVersion}};
  if (event.kind == ControlEventKind::paired) {
    object["event"] = "paired";
    object["name"] = event.name;
  } else if (event.kind == ControlEventKind::woke) {
    object["event"] = "woke";
    object["providers"] = event.wake.providers;
    object["readSeconds"] = event.wake.readSeconds;
    object["totalSeconds"] = event.wake.totalSeconds;
    object["idle"] = event.wake.idle;
    object["pairedDevices"] = event.wake.pairedDevices;
  } else {
    object["event"] = "expired";
  }
  return line(object);
}

DecodedRequest decodeRequest(std::string_view text) {
  auto failed = [](std::string_view kind, std::string message) {
    return DecodedRequest{std::nullopt, ControlFailure{std::string(kind), std::move(message)}};
  };
  std::optional<json> value = parsed(text);
  if (!value) return failed(ControlFailureKind::malformed, "not a JSON object");
  JsonObjectReader reader(*value);
  std::optional<int> version = reader.requiredInteger("version");
  if (!version) return failed(ControlFailureKind::malformed, "no version");
  if (*version != controlProtocolVersion)
    return failed(ControlFailureKind::unsupportedVersion,
                  "version " + std::to_string(*version) + " is not spoken here");
  std::optional<std::string> name = reader.requiredString("request");
  if (!name) return failed(ControlFailureKind::malformed, "no request");
  for (const auto& [kind, known] : requestNames) {
    if (*name != known) continue;
    ControlRequest request{kind, {}};
    if (kind == ControlRequestKind::revoke) {
      request.device = reader.requiredString("device").value_or("");
      if (request.device.empty())
        return failed(ControlFailureKind::malformed, "revoke needs a device");
    }
    return {request, std::nullopt};
  }
  return failed(ControlFailureKind::unknownRequest, "unknown request");
}

std::optional<ControlAnswer> decodeAnswer(std::string_view text) {
  std::optional<json> value = parsed(text);
  if (!value) return std::nullopt;
  JsonObjectReader reader(*value);
  if (!versionOne(reader)) return std::nullopt;
  std::optional<bool> ok = reader.boolean("ok");
  if (!ok) return std::nullopt;
  ControlAnswer answer;
  if (!*ok) {
    std::optional<std::string> kind = reader.requiredString("error");
    std::optional<std::string> message = reader.requiredString("message");
    if (!kind || !message) return std::nullopt;
    answer.failure = ControlFailure{*kind, *message};
  }
  answer.headless = reader.boolean("headless");
  if (const json* pid = reader.member("pid")) {
    if (!pid->is_number_integer() ||
        (pid->is_number_unsigned() && pid->get<std::uint64_t>() > INT64_MAX))
      return std::nullopt;
    answer.pid = pid->get<std::int64_t>();
  }
  if (const json* devices = reader.array("devices")) {
    for (const json& each : *devices) {
      std::optional<ControlDevice> device = decodeDevice(each);
      if (!device) return std::nullopt;
      answer.devices.push_back(std::move(*device));
    }
  }
  if (const json* invitation = reader.member("invitation")) {
    answer.invitation = decodeInvitation(*invitation);
    if (!answer.invitation) return std::nullopt;
  }
  if (const json* diagnosis = reader.member("diagnosis")) {
    answer.diagnosis = decodeDiagnosis(*diagnosis);
    if (!answer.diagnosis) return std::nullopt;
  }
  if (!reader.ok()) return std::nullopt;
  return answer;
}

std::optional<ControlEvent> decodeEvent(std::string_view text) {
  std::optional<json> value = parsed(text);
  if (!value) return std::nullopt;
  JsonObjectReader reader(*value);
  if (!versionOne(reader)) return std::nullopt;
  std::optional<std::string> name = reader.requiredString("event");
  if (name == "expired" && reader.ok()) return ControlEvent{ControlEventKind::expired, {}, {}};
  if (name == "paired") {
    std::optional<std::string> device = reader.requiredString("name");
    if (device && reader.ok()) return ControlEvent{ControlEventKind::paired, *device, {}};
  }
  if (name == "woke") {
    ControlEvent event{ControlEventKind::woke, {}, {}};
    ControlWake& wake = event.wake;
    if (const json* providers = reader.requiredArray("providers")) {
      for (const json& provider : *providers) {
        if (!provider.is_string()) return std::nullopt;
        wake.providers.push_back(provider.get<std::string>());
      }
    }
    wake.readSeconds = reader.requiredNumber("readSeconds").value_or(-1);
    wake.totalSeconds = reader.requiredNumber("totalSeconds").value_or(-1);
    wake.idle = requiredBoolean(reader, "idle").value_or(false);
    wake.pairedDevices = reader.requiredInteger("pairedDevices").value_or(-1);
    if (!reader.ok() || !(wake.readSeconds >= 0) || !(wake.totalSeconds >= 0) ||
        wake.pairedDevices < 0)
      return std::nullopt;
    return event;
  }
  return std::nullopt;
}

}  // namespace meterwright::ControlCoding
