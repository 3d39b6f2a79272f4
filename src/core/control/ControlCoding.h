#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/control/ControlMessage.h"

// The control socket's lines. Encoders return one line with its newline. Decoders take one line
// (without it) from another process of the user and trust nothing: a value of the wrong type, a
// missing member or a version other than 1 fails; members this version does not know are ignored.
namespace meterwright::ControlCoding {

std::string encode(const ControlRequest& request);
std::string encode(const ControlAnswer& answer);
std::string encode(const ControlEvent& event);

// A request, or the failure to answer it with (malformed, unsupportedVersion, unknownRequest).
struct DecodedRequest {
  std::optional<ControlRequest> request;
  std::optional<ControlFailure> failure;
};
DecodedRequest decodeRequest(std::string_view line);

std::optional<ControlAnswer> decodeAnswer(std::string_view line);
std::optional<ControlEvent> decodeEvent(std::string_view line);

}  // namespace meterwright::ControlCoding
