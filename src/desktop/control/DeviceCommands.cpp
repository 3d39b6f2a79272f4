#include "desktop/control/DeviceCommands.h"

#include <vector>

#include "core/sync/protocol/SyncProtocol.h"
#include "core/text/TextCase.h"
#include "platform/control/ReachableAddresses.h"

namespace meterwright::DeviceCommands {

namespace {

double unixSeconds(Date date) {
  return secondsBetween(Date{}, date);
}

std::vector<PairedDevice> matching(const std::vector<PairedDevice>& devices,
                                   const std::string& text) {
  for (const PairedDevice& device : devices) {
    if (TextCase::equalIgnoringCase(device.id.text(), text)) return {device};
  }
  const std::string prefix = TextCase::lowercased(text);
  std::vector<PairedDevice> found;
  for (const PairedDevice& device : devices) {
    if (!prefix.empty() && TextCase::lowercased(device.name).rfind(prefix, 0) == 0)
      found.push_back(device);
  }
  return found;
}

}  // namespace

ControlDevice device(const PairedDevice& paired) {
  ControlDevice shown{paired.id.text(), paired.name, paired.platform, unixSeconds(paired.pairedAt),
                      std::nullopt};
  if (paired.lastSeenAt) shown.lastSeenAt = unixSeconds(*paired.lastSeenAt);
  return shown;
}

ControlAnswer list(PairedDeviceStore& store) {
  ControlAnswer answer;
  for (const PairedDevice& paired : store.devices()) answer.devices.push_back(device(paired));
  return answer;
}

ControlAnswer revoke(PairedDeviceStore& store, const std::string& wanted) {
  const std::string text = TextCase::trimmed(wanted);
  std::vector<PairedDevice> found = matching(store.devices(), text);
  ControlAnswer answer;
  for (const PairedDevice& each : found) answer.devices.push_back(device(each));
  if (found.empty()) {
    answer.failure = ControlFailure{std::string(ControlFailureKind::noMatch),
                                    "no paired device matches " + text};
  } else if (found.size() > 1) {
    answer.failure = ControlFailure{std::string(ControlFailureKind::ambiguous),
                                    text + " matches several devices"};
  } else {
    store.remove(found[0].id);
    if (!store.isRemembering())
      answer.failure = ControlFailure{std::string(ControlFailureKind::notWritten),
                                      found[0].name + " could not be removed from the store"};
  }
  return answer;
}

ControlInvitation invitation(LocalNetworkPublisher& publisher, const std::string& listenAddress) {
  PairingInvitation made = publisher.makeInvitation(SyncProtocol::invitationLifetime);
  std::uint16_t port = publisher.port().value_or(0);
  return ControlInvitation{made.code.formatted(), made.encoded(), port,
                           ReachableAddresses::of(listenAddress, port),
                           unixSeconds(made.expiresAt)};
}

}  // namespace meterwright::DeviceCommands
