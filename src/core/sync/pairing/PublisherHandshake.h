#pragma once

#include <functional>
#include <map>
#include <optional>

#include "core/crypto/SymmetricKey.h"
#include "core/encoding/Uuid.h"
#include "core/sync/pairing/PairingIdentity.h"
#include "core/sync/pairing/PairingInvitation.h"
#include "core/sync/pairing/PairingRecord.h"
#include "core/sync/protocol/SyncMessage.h"
#include "core/time/Clock.h"

// The Mac's rules for a device's first message on a connection, apart from any socket: a pair
// request is checked against the code on screen, a hello against the keys the Mac holds. The
// publisher reads its state under its lock, asks here, applies the answer and sends the reply.
namespace meterwright::PublisherHandshake {

// The stored key of a device not known in this run; nothing for a device never paired.
using KeyLookup = std::function<std::optional<SymmetricKey>(const Uuid&)>;

struct Answer {
  // Written to the connection; nothing for a message that is neither a pair request nor a hello.
  std::optional<SyncMessage> reply;
  // The device the connection now belongs to, with its key: registered before the reply leaves.
  std::optional<PairingRecord> registers;
  // Whether `registers` comes from the code just now rather than a key agreed earlier.
  bool pairedWithCode = false;
  // The invitation this message used up. The publisher forgets it only while it still shows that
  // one: a code made since the request arrived is not the one guessed.
  std::optional<PairingInvitation> usesUp;
  // The reply is a refusal: the connection is let go once it is written.
  bool closes = false;

  bool operator==(const Answer&) const = default;
};

// The answer to `message` from a device, for a Mac showing `invitation` (if any) at `now`.
// `known` are the devices registered in this run; a hello of any other device is looked up with
// `storedKey` (which may be empty), so the caller's lock order decides where that runs.
Answer answer(const SyncMessage& message, const std::optional<PairingInvitation>& invitation,
              Date now, const PairingIdentity& mac, const std::map<Uuid, PairingRecord>& known,
              const KeyLookup& storedKey);

}  // namespace meterwright::PublisherHandshake
