#include "core/sync/protocol/SyncError.h"

#include <string>
#include <utility>

namespace meterwright {

SyncError SyncError::refused(SyncMessage::Failure failure) {
  SyncError error;
  error.kind = Kind::refused;
  error.failure = std::move(failure);
  return error;
}

SyncError SyncError::transportFailed(std::string text) {
  SyncError error;
  error.kind = Kind::transportFailed;
  error.text = std::move(text);
  return error;
}

SyncError SyncError::unsupportedVersion(int version) {
  SyncError error;
  error.kind = Kind::unsupportedVersion;
  error.version = version;
  return error;
}

SyncError SyncError::of(Kind kind) {
  SyncError error;
  error.kind = kind;
  return error;
}

SyncError SyncError::malformedMessage() {
  return transportFailed("Malformed message");
}

SyncError SyncError::couldNotEncode() {
  return transportFailed("Could not encode a message");
}

std::string SyncError::description() const {
  switch (kind) {
    case Kind::refused:
      return "The other side refused: " + (failure ? failure->detail : std::string("no reason"));
    case Kind::transportFailed:
      return text.empty() ? "The connection failed" : text;
    case Kind::unsupportedVersion:
      return "The envelope has version " + std::to_string(version) + ", newer than this program";
    case Kind::messageTooLarge:
      return "A message was larger than the protocol allows";
    case Kind::tokenMismatch:
      return "The pairing token did not match";
    case Kind::macDidNotProveTheCode:
      return "The computer did not prove that it knows the pairing code";
    case Kind::malformedInvitation:
      return "The text holds no pairing code";
    case Kind::invitationExpired:
      return "The pairing code has expired";
    case Kind::notPaired:
      return "This device is not paired";
    case Kind::decryptionFailed:
      return "A sealed payload could not be opened";
  }
  return "Unknown sync error";
}

}  // namespace meterwright
