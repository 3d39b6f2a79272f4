#pragma once

#include <memory>

#include "core/control/ControlMessage.h"

namespace meterwright {

class ControlServer;
class PairingRequests;
class SyncManager;

// The running application's answers to --devices, --revoke and --pair over the control socket,
// from its own sync manager. show and status are the application's own business.
namespace ControlHandlers {

// Sets the server's onDevices, onRevoke and (with `pairing`) onPair. Both objects must outlive
// the server's handlers. The application routes each newly paired device (the coordinator's
// onDevicePaired, handed to the main loop) to `pairing->devicePaired`.
void install(ControlServer& server, SyncManager& manager, std::shared_ptr<PairingRequests> pairing);

// The device-sync half of the diagnose answer, from the instance's own sync manager; the tray's
// half is the caller's.
ControlDiagnosis syncDiagnosis(const SyncManager& manager);

}  // namespace ControlHandlers

}  // namespace meterwright
