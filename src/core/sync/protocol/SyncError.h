#pragma once

#include <optional>
#include <string>

#include "core/sync/protocol/SyncMessage.h"

namespace meterwright {

// Every failure of the sync subsystem, delivered as a value (through results and onError
// callbacks). Only the member belonging to `kind` is set.
struct SyncError {
  enum class Kind {
    // The peer sent a failure message; `failure` holds it unchanged.
    refused,
    // A listener or connection failed, or a message could not be encoded or decoded; see `text`.
    transportFailed,
    // An envelope's version is above ours; `version` holds it.
    unsupportedVersion,
    messageTooLarge,
    tokenMismatch,
    macDidNotProveTheCode,
    malformedInvitation,
    invitationExpired,
    notPaired,
    decryptionFailed
  };

  Kind kind = Kind::transportFailed;
  std::optional<SyncMessage::Failure> failure;
  std::string text;
  int version = 0;

  bool operator==(const SyncError&) const = default;

  static SyncError refused(SyncMessage::Failure failure);
  static SyncError transportFailed(std::string text);
  static SyncError unsupportedVersion(int version);
  // One of the kinds that carry nothing.
  static SyncError of(Kind kind);

  // transportFailed("Malformed message"): received bytes that do not decode as a message.
  static SyncError malformedMessage();
  // transportFailed("Could not encode a message").
  static SyncError couldNotEncode();

  // A sentence for people (diagnostics, a manager's lastError): the text or the peer's detail
  // where the error carries one, else what the kind means. Never the only way to tell errors
  // apart: code decides by `kind`.
  std::string description() const;
};

}  // namespace meterwright
