#include "desktop/control/ControlHandlers.h"

#include "core/sync/SyncCoordinator.h"
#include "core/sync/cloud/CloudKitTransport.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/sync/pairing/PairedDeviceStore.h"
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

ControlDiagnosis syncDiagnosis(const SyncManager& manager) {
  ControlDiagnosis diagnosis;
  diagnosis.publishing = manager.started();
  diagnosis.listening = manager.publisher()->port().has_value();
  diagnosis.lastError = manager.lastError();
  diagnosis.deviceName = manager.deviceName();
  diagnosis.pairedDevices = static_cast<std::int64_t>(manager.store()->devices().size());
  for (const auto& transport : manager.coordinator()->allTransports()) {
    ControlRoute route{transport->name(), transport->isAvailable(), std::nullopt};
    if (transport == manager.cloud()) route.reason = manager.cloud()->unavailableReason();
    diagnosis.transports.push_back(std::move(route));
  }
  for (const AbsentRoute& absent : manager.absentRoutes())
    diagnosis.absentRoutes.push_back({absent.name, false, absent.reason});
  return diagnosis;
}

}  // namespace meterwright::ControlHandlers
