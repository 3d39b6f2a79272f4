#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/encoding/Uuid.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/sync/protocol/SyncProtocol.h"

namespace meterwright {

// One message of the local-network protocol, sent as one frame. Byte fields (keys, proofs) hold
// raw bytes; the coder writes them as Base64.
struct SyncMessage {
  // A device's first contact with a pairing code.
  struct PairRequest {
    int version = SyncProtocol::version;
    Uuid deviceID;
    std::string deviceName;
    std::string platform;
    // The device's 32-byte Curve25519 public key.
    std::string publicKey;
    // 32-byte HMAC proving the device knows the code.
    std::string proof;
    bool operator==(const PairRequest&) const = default;
  };

  // An already paired device reconnecting.
  struct Hello {
    int version = SyncProtocol::version;
    Uuid deviceID;
    std::string deviceName;
    std::string platform;
    bool operator==(const Hello&) const = default;
  };

  // The Mac's answer to a good pair request: its identity, key and proof of the code.
  struct PairAccepted {
    int version = SyncProtocol::version;
    Uuid deviceID;
    std::string deviceName;
    std::string publicKey;
    std::string confirmation;
    bool operator==(const PairAccepted&) const = default;
  };

  // The Mac's answer to a hello from a device it knows (the `welcomeBack` case).
  struct Welcome {
    int version = SyncProtocol::version;
    Uuid deviceID;
    std::string deviceName;
    bool operator==(const Welcome&) const = default;
  };

  // A device asking for the latest sealed payload now.
  struct RequestSnapshot {
    bool operator==(const RequestSnapshot&) const = default;
  };

  // A refusal. Either side accepts one; the Mac sends them.
  struct Failure {
    enum class Reason {
      codeNoLongerValid,
      codeWrong,
      needsNewerApp,
      deviceNotRecognised,
      keyAgreementFailed
    };

    std::optional<Reason> reason;
    // A human-readable sentence.
    std::string detail;

    bool operator==(const Failure&) const = default;

    // The failure the Mac sends for `reason`, with its standard detail sentence.
    static Failure standard(Reason reason);
    static std::string_view standardDetail(Reason reason);
    // The wire word is the case name; nothing for an unknown word.
    static std::optional<Reason> reasonFromString(std::string_view text);
    static std::string_view toString(Reason reason);
  };

  // In the protocol's declaration order; a `SyncEnvelope` is the `snapshot` case.
  using Case = std::variant<PairRequest, Hello, PairAccepted, Welcome, RequestSnapshot,
                            SyncEnvelope, Failure>;

  Case value;

  bool operator==(const SyncMessage&) const = default;

  // The JSON member name of the case: "pairRequest", "hello", "pairAccepted", "welcomeBack",
  // "requestSnapshot", "snapshot" or "failure".
  std::string_view caseName() const;

  template <typename T>
  const T* as() const {
    return std::get_if<T>(&value);
  }
};

}  // namespace meterwright
