#include "platform/session/HostName.h"

#include <gio/gio.h>
#include <unistd.h>

#include <array>
#include <memory>

#include "core/files/AtomicFile.h"
#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"
#include "platform/glib/GlibHandles.h"
#include "platform/glib/MainLoopWait.h"

namespace meterwright::HostName {

namespace {

constexpr std::size_t machineInfoLimit = 64 * 1024;

// One shell word: quotes removed, backslash escapes kept literal inside double quotes and bare.
std::string unquoted(std::string_view value) {
  std::string result;
  char quote = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        result += c;
    } else if (c == '\\' && i + 1 < value.size()) {
      result += value[++i];
    } else if (quote == '"') {
      if (c == '"')
        quote = 0;
      else
        result += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ' ' || c == '\t' || c == '#') {
      break;
    } else {
      result += c;
    }
  }
  return result;
}

std::optional<std::string> fromHostnamed(const Sources& sources) {
  // A context of our own: the caller's sources (a tray's timers) do not run during the wait.
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  struct Outcome {
    bool done = false;
    std::optional<std::string> name;
  };
  auto outcome = std::make_shared<Outcome>();
  const double deadline = sources.busDeadline;
  BusCalls::connect(BusAddress::system(sources.environment), deadline,
                    [outcome, deadline](glib::Object<GDBusConnection> connection, std::string) {
                      if (!connection) {
                        outcome->done = true;
                        return;
                      }
                      std::shared_ptr<GDBusConnection> bus(connection.release(), g_object_unref);
                      // hostnamed is started on demand and stops when idle, so activation is
                      // allowed.
                      BusCalls::call(
                          bus.get(),
                          {"org.freedesktop.hostname1", "/org/freedesktop/hostname1",
                           "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", "org.freedesktop.hostname1", "PrettyHostname"),
                           G_VARIANT_TYPE("(v)"), true},
                          deadline, [outcome, bus](glib::Variant reply, glib::Error, GUnixFDList*) {
                            outcome->done = true;
                            if (!reply) return;
                            glib::Variant boxed(g_variant_get_child_value(reply.get(), 0));
                            glib::Variant value(g_variant_get_variant(boxed.get()));
                            if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) return;
                            std::string name = g_variant_get_string(value.get(), nullptr);
                            if (!name.empty()) outcome->name = name;
                          });
                    });
  // Both steps end by their own deadlines, so this wait only guards against the unforeseen; it
  // runs until they have, so nothing is left pending on the context dropped below.
  MainLoopWait::until([&] { return outcome->done; }, 2 * deadline + 1);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return outcome->name;
}

std::optional<std::string> fromMachineInfo(const std::filesystem::path& path) {
  FileReading::Result file = FileReading::readRegular(path, machineInfoLimit);
  if (file.outcome != FileReading::Outcome::read) return std::nullopt;
  return prettyFromMachineInfo(file.bytes);
}

std::optional<std::string> fromGethostname() {
  std::array<char, 256> buffer{};
  if (::gethostname(buffer.data(), buffer.size() - 1) != 0 || buffer[0] == '\0')
    return std::nullopt;
  return std::string(buffer.data());
}

}  // namespace

std::optional<std::string> prettyFromMachineInfo(std::string_view text) {
  std::optional<std::string> found;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    if (line.substr(0, key.size()) != key) continue;
    // The last assignment wins, as in a shell.
    std::string value = unquoted(line.substr(key.size()));
    found = value.empty() ? std::nullopt : std::optional(value);
  }
  return found;
}

std::string deviceName(const Sources& sources) {
  if (auto name = fromHostnamed(sources)) return *name;
  if (auto name = fromMachineInfo(sources.machineInfo)) return *name;
  if (auto name = fromGethostname()) return *name;
  return "Linux";
}

}  // namespace meterwright::HostName
