#include "core/sync/protocol/SyncError.h"

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

}  // namespace meterwright
