#include "core/sync/protocol/SyncMessage.h"

#include <array>
#include <utility>

namespace meterwright {

namespace {

using Reason = SyncMessage::Failure::Reason;

struct ReasonEntry {
  Reason reason;
  std::string_view word;
  std::string_view detail;
};

constexpr std::array<ReasonEntry, 5> reasons{{
    {Reason::codeNoLongerValid, "codeNoLongerValid", "That pairing code is no longer valid."},
    {Reason::codeWrong, "codeWrong", "That code is not right. Make a new one on the computer."},
    {Reason::needsNewerApp, "needsNewerApp", "This computer needs a newer Meterwright."},
    {Reason::deviceNotRecognised, "deviceNotRecognised",
     "This computer does not recognise that device. Pair it again."},
    {Reason::keyAgreementFailed, "keyAgreementFailed", "Could not agree on a key."},
}};

const ReasonEntry& entry(Reason reason) {
  for (const ReasonEntry& each : reasons) {
    if (each.reason == reason) return each;
  }
  return reasons.front();
}

}  // namespace

SyncMessage::Failure SyncMessage::Failure::standard(Reason reason) {
  return Failure{reason, std::string(standardDetail(reason))};
}

std::string_view SyncMessage::Failure::standardDetail(Reason reason) {
  return entry(reason).detail;
}

std::optional<SyncMessage::Failure::Reason> SyncMessage::Failure::reasonFromString(
    std::string_view text) {
  for (const ReasonEntry& each : reasons) {
    if (each.word == text) return each.reason;
  }
  return std::nullopt;
}

std::string_view SyncMessage::Failure::toString(Reason reason) {
  return entry(reason).word;
}

std::string_view SyncMessage::caseName() const {
  static constexpr std::array<std::string_view, std::variant_size_v<Case>> names{
      "pairRequest",     "hello",    "pairAccepted", "welcomeBack",
      "requestSnapshot", "snapshot", "failure"};
  return names[value.index()];
}

}  // namespace meterwright
