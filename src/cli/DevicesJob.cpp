// --devices and --revoke: the paired-device store, without the network.

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Jobs.h"
#include "core/sync/pairing/PairedDeviceStore.h"
#include "core/text/TextCase.h"
#include "desktop/CompositionRoot.h"
#include "desktop/sync/ProcessSync.h"
#include "desktop/text/DesktopText.h"

namespace meterwright::Jobs {

namespace {

std::string localMinute(Date date) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(date);
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

// An exact id in either letter case, else the one device whose name begins with `text`
// (ignoring case). Several matches are returned for the message.
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

int devices(Context& context) {
  auto root = CompositionRoot::forProcess(context.locations, false);
  std::vector<PairedDevice> devices = ProcessSync::pairedDeviceStore(root)->devices();
  if (devices.empty()) {
    context.out << desktop::L("cli.devices.none", "No devices are paired.") << "\n";
    return 0;
  }
  const std::string name = desktop::L("cli.devices.name", "NAME");
  const std::string never = desktop::L("cli.devices.never", "never");
  std::size_t nameWidth = width(name);
  for (const PairedDevice& device : devices) nameWidth = std::max(nameWidth, width(device.name));
  const std::size_t dateWidth = std::max<std::size_t>(16, width(never));
  context.out << padded(name, nameWidth) << padded(desktop::L("cli.devices.id", "ID"), 36)
              << padded(desktop::L("cli.devices.paired", "PAIRED"), dateWidth)
              << desktop::L("cli.devices.lastSeen", "LAST SEEN") << "\n";
  for (const PairedDevice& device : devices) {
    context.out << padded(device.name, nameWidth) << padded(device.id.text(), 36)
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
  auto root = CompositionRoot::forProcess(context.locations, false);
  std::shared_ptr<PairedDeviceStore> store = ProcessSync::pairedDeviceStore(root);
  std::vector<PairedDevice> found = matching(store->devices(), TextCase::trimmed(*wanted));
  if (found.empty()) {
    context.err << desktop::L("cli.revoke.unknown", "meterwright: no paired device matches %@",
                              *wanted)
                << "\n";
    return 1;
  }
  if (found.size() > 1) {
    std::string names;
    for (const PairedDevice& device : found)
      names += (names.empty() ? "" : ", ") + device.name + " (" + device.id.text() + ")";
    context.err << desktop::L("cli.revoke.ambiguous",
                              "meterwright: %1$@ matches several devices: %2$@", *wanted, names)
                << "\n";
    return 1;
  }
  // The running application, once it listens on its control socket, is told as well.
  store->remove(found[0].id);
  if (!store->isRemembering()) {
    context.err << desktop::L("cli.revoke.notWritten",
                              "meterwright: %@ could not be removed from the secret store",
                              found[0].name)
                << "\n";
    return 1;
  }
  context.out << desktop::L("cli.revoke.done", "%1$@ (%2$@) is revoked.", found[0].name,
                            found[0].id.text())
              << "\n";
  return 0;
}

}  // namespace meterwright::Jobs
