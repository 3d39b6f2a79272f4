#pragma once

#include <string>

#include "core/control/ControlMessage.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/pairing/PairedDeviceStore.h"

// What --devices, --revoke and --pair do to this computer's sync state, as control answers. The
// running application answers the control socket with them, and the jobs call them directly when
// no instance runs, so both routes print the same.
namespace meterwright::DeviceCommands {

ControlDevice device(const PairedDevice& paired);

// Every paired device, oldest first.
ControlAnswer list(PairedDeviceStore& store);

// Revokes the device whose id is `wanted` in either letter case, else the one device whose name
// begins with it (ignoring case). Fails noMatch, ambiguous (the matches in `devices`) or
// notWritten (the device in `devices`); done, the revoked device is in `devices`.
ControlAnswer revoke(PairedDeviceStore& store, const std::string& wanted);

// A new pairing code of the publisher, where it listens, and until when the code holds.
ControlInvitation invitation(LocalNetworkPublisher& publisher, const std::string& listenAddress);

}  // namespace meterwright::DeviceCommands
