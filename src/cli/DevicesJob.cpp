// --devices and --revoke: the paired-device store, through the running application when one
// runs, else directly; both routes answer alike and print the same.

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Jobs.h"
#include "cli/SecondInstance.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "core/text/TextCase.h"
#include "desktop/CompositionRoot.h"
#include "desktop/control/DeviceCommands.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::Jobs {

namespace {

std::string localMinute(double unixSeconds) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(dateFromUnixSeconds(unixSeconds));
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// Characters, not bytes, so names beyond ASCII line up.
std::size_t width(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string padded(const std::string& text, std::size_t to) {
  return text + std::string(to > width(text) ? to - width(text) : 0, ' ') + "  ";
}

// The running instance's answer, else the same work done here on the store. Nothing when an
// instance runs but did not answer (said on standard error).
std::optional<ControlAnswer> carriedOut(Context& context, const ControlRequest& request) {
  SecondInstance::Reply reply = SecondInstance::ask(context.locations, request);
  if (reply.running) {
    if (!reply.answer) SecondInstance::notAnswered(context);
    return reply.answer;
  }
  auto root = CompositionRoot::forProcess(context.locations, false);
  std::shared_ptr<PairedDeviceStore> store = ProcessSync::pairedDeviceStore(root);
  if (request.kind == ControlRequestKind::revoke)
    return DeviceCommands::revoke(*store, request.device);
  return DeviceCommands::list(*store);
}

}  // namespace

int devices(Context& context) {
  std::optional<ControlAnswer> answer =
      carriedOut(context, ControlRequest{ControlRequestKind::devices, {}});
  if (!answer) return 1;
  if (answer->failure) return SecondInstance::failed(context, *answer->failure);
  const std::vector<ControlDevice>& devices = answer->devices;
  if (devices.empty()) {
    context.out << desktop::L("cli.devices.none", "No devices are paired.") << "\n";
    return 0;
  }
  const std::string name = desktop::L("cli.devices.name", "NAME");
  const std::string never = desktop::L("cli.devices.never", "never");
  std::size_t nameWidth = width(name);
  for (const ControlDevice& device : devices) nameWidth = std::max(nameWidth, width(device.name));
  const std::size_t dateWidth = std::max<std::size_t>(16, width(never));
  context.out << padded(name, nameWidth) << padded(desktop::L("cli.devices.id", "ID"), 36)
              << padded(desktop::L("cli.devices.paired", "PAIRED"), dateWidth)
              << desktop::L("cli.devices.lastSeen", "LAST SEEN") << "\n";
  for (const ControlDevice& device : devices) {
    context.out << padded(device.name, nameWidth) << padded(device.id, 36)
                << padded(localMinute(device.pairedAt), dateWidth)
                << (device.lastSeenAt ? localMinute(*device.lastSeenAt) : never) << "\n";
  }
  return 0;
}

int revoke(Context& context) {
  std::optional<std::string> wanted = CommandLine::valueAfter(context.arguments, "--revoke");
  if (!wanted || TextCase::trimmed(*wanted).empty()) {
    context.err << desktop::L("cli.revoke.missing",
                              "meterwright: --revoke needs a device id or the start of its name")
                << "\n";
    return usageStatus;
  }
  std::optional<ControlAnswer> answer =
      carriedOut(context, ControlRequest{ControlRequestKind::revoke, TextCase::trimmed(*wanted)});
  if (!answer) return 1;
  const std::vector<ControlDevice>& found = answer->devices;
  if (answer->failure) {
    const std::string& kind = answer->failure->kind;
    if (kind == ControlFailureKind::noMatch) {
      context.err << desktop::L("cli.revoke.unknown", "meterwright: no paired device matches %@",
                                *wanted)
                  << "\n";
    } else if (kind == ControlFailureKind::ambiguous) {
      std::string names;
      for (const ControlDevice& device : found)
        names += (names.empty() ? "" : ", ") + device.name + " (" + device.id + ")";
      context.err << desktop::L("cli.revoke.ambiguous",
                                "meterwright: %1$@ matches several devices: %2$@", *wanted, names)
                  << "\n";
    } else if (kind == ControlFailureKind::notWritten && !found.empty()) {
      context.err << desktop::L("cli.revoke.notWritten",
                                "meterwright: %@ could not be removed from the secret store",
                                found[0].name)
                  << "\n";
    } else {
      return SecondInstance::failed(context, *answer->failure);
    }
    return 1;
  }
  if (found.size() != 1) return SecondInstance::failed(context, {"", "no device in the answer"});
  context.out << desktop::L("cli.revoke.done", "%1$@ (%2$@) is revoked.", found[0].name,
                            found[0].id)
              << "\n";
  return 0;
}

}  // namespace meterwright::Jobs
