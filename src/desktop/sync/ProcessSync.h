#pragma once

#include <functional>
#include <memory>

#include "desktop/CompositionRoot.h"

namespace meterwright {

class PairedDeviceStore;
class SyncManager;

// The sync parts of a process, built from its composition root. Kept apart from the root so that
// status-line programs, which build the root too, need none of what sync brings (DNS-SD, D-Bus,
// drawing the icons).
namespace ProcessSync {

// This computer's sync manager: the secret store and user defaults of the process, the name its
// owner gave the machine, DNS-SD through avahi-daemon, the cloud folder and the publisher lock.
// METERWRIGHT_LISTEN_ADDRESS, when set, is the one address the publisher listens on. Nothing is
// started. `toMainThread`, when given, is where paired devices are reported.
std::unique_ptr<SyncManager> syncManager(
    const CompositionRoot& root, std::function<void(std::function<void()>)> toMainThread = {});

// The paired devices alone, for jobs that need no network.
std::shared_ptr<PairedDeviceStore> pairedDeviceStore(const CompositionRoot& root);

}  // namespace ProcessSync

}  // namespace meterwright
