#include "desktop/control/ControlHandlers.h"

#include "desktop/control/DeviceCommands.h"
#include "desktop/control/PairingRequests.h"
#include "desktop/sync/SyncManager.h"
#include "platform/control/ControlServer.h"

namespace meterwright::ControlHandlers {

void install(ControlServer& server, SyncManager& manager,
             std::shared_ptr<PairingRequests> pairing) {
  server.onDevices = [&manager] { return DeviceCommands::list(*manager.store()); };
  server.onRevoke = [&manager](const std::string& device) {
    ControlAnswer answer = DeviceCommands::revoke(*manager.store(), device);
    // A connection the device still holds is closed as well, not only its later ones refused.
    if (answer.ok() && answer.devices.size() == 1) {
      if (std::optional<Uuid> id = Uuid::parse(answer.devices[0].id))
        manager.publisher()->revoke(*id);
    }
    return answer;
  };
  if (pairing) {
    server.onPair = [pairing](ControlServer::EventSender later) {
      return pairing->request(std::move(later));
    };
  }
}

}  // namespace meterwright::ControlHandlers
