#pragma once

#include <functional>
#include <memory>

#include "core/sync/pairing/PairedDevice.h"
#include "desktop/CompositionRoot.h"
#include "desktop/app/AppDelegate.h"

namespace meterwright {
class Notifier;
}

// The application as the process runs it: the real reader, sync manager, notifier, login item,
// wake publishing and main-loop scheduler around one AppDelegate.
namespace meterwright::AppWiring {

// What the process supplies beyond its composition root.
struct Hooks {
  std::function<void()> endMainLoop;
  std::function<void()> openPairing;
  std::function<void()> openSetup;
  // The process's one notifier, shared with the setup assistant; null: one is made here.
  std::shared_ptr<Notifier> notifier;
  std::function<void()> openSettings;
  std::function<void(const PairedDevice&)> devicePairedToWindow;
  // Whether the tray host keeps the picture's width; unset is square.
  std::function<bool()> wideTray;
  // Whether the tray picture is drawn for a dark panel; unset is light.
  std::function<bool()> darkPanel;
};

// Built on the thread that runs the default GLib main context, which must be iterating before the
// first reading can come back. Nothing is started until launch().
std::unique_ptr<AppDelegate> build(const CompositionRoot& root, Hooks hooks);

}  // namespace meterwright::AppWiring
