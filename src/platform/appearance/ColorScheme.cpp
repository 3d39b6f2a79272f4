#include "platform/appearance/ColorScheme.h"

#include <gio/gio.h>

#include <filesystem>
#include <sstream>

#include "core/files/AtomicFile.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/text/TextCase.h"
#include "platform/appearance/GtkSettings.h"
#include "platform/dbus/BusAddress.h"

namespace meterwright::ColorScheme {

namespace fs = std::filesystem;

namespace {

// The calls of one question on a main context of its own, so nothing waits on (or disturbs) a
// main loop the caller may run, and a timeout source ends the wait at the deadline.
struct Exchange {
  GMainContext* context = g_main_context_new();
  GCancellable* cancellable = g_cancellable_new();
  GDBusConnection* connection = nullptr;
  GVariant* reply = nullptr;
  bool finished = false;
  bool timedOut = false;

  ~Exchange() {
    // Cancelled operations that answer now still find this exchange; any later answer is queued
    // on a context nobody runs again, so it never reaches it.
    g_cancellable_cancel(cancellable);
    while (g_main_context_iteration(context, FALSE)) {
    }
    if (reply) g_variant_unref(reply);
    if (connection) g_object_unref(connection);
    g_object_unref(cancellable);
    g_main_context_unref(context);
  }

  // Runs the context until `finished` or the deadline; false on the deadline.
  bool wait(gint64 deadlineMicroseconds) {
    while (!finished) {
      gint64 left = deadlineMicroseconds - g_get_monotonic_time();
      if (left <= 0) {
        g_cancellable_cancel(cancellable);
        return false;
      }
      GSource* timer = g_timeout_source_new(static_cast<guint>(left / 1000 + 1));
      g_source_set_callback(
          timer, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
      g_source_attach(timer, context);
      g_main_context_iteration(context, TRUE);
      g_source_destroy(timer);
      g_source_unref(timer);
    }
    return true;
  }
};

void connected(GObject*, GAsyncResult* result, gpointer data) {
  auto* exchange = static_cast<Exchange*>(data);
  exchange->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
  exchange->finished = true;
}

void answered(GObject* source, GAsyncResult* result, gpointer data) {
  auto* exchange = static_cast<Exchange*>(data);
  exchange->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
  exchange->finished = true;
}

// The portal's value: 1 prefers dark, 2 prefers light, 0 (or anything else) no preference.
std::optional<bool> schemeOf(GVariant* value) {
  // Read (the older method) wraps the value once more.
  while (value && g_variant_is_of_type(value, G_VARIANT_TYPE_VARIANT)) {
    GVariant* inner = g_variant_get_variant(value);
    g_variant_unref(value);
    value = inner;
  }
  std::optional<bool> dark;
  if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
    guint32 scheme = g_variant_get_uint32(value);
    if (scheme == 1) dark = true;
    if (scheme == 2) dark = false;
  }
  if (value) g_variant_unref(value);
  return dark;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<bool> settingsValue(const fs::path& file) {
  FileReading::Result read = FileReading::readRegular(file, 64 * 1024);
  if (read.outcome != FileReading::Outcome::read) return std::nullopt;
  std::stringstream stream(read.bytes);
  std::string line;
  bool inSettings = false;
  while (std::getline(stream, line)) {
    std::string_view text = trimmed(line);
    if (text.starts_with('[')) {
      inSettings = text == "[Settings]";
      continue;
    }
    auto equals = text.find('=');
    if (!inSettings || equals == std::string_view::npos) continue;
    if (trimmed(text.substr(0, equals)) != "gtk-application-prefer-dark-theme") continue;
    std::string value = TextCase::lowercased(trimmed(text.substr(equals + 1)));
    if (value == "1" || value == "true") return true;
    if (value == "0" || value == "false") return false;
  }
  return std::nullopt;
}

}  // namespace

std::optional<bool> portalPrefersDark(const std::string& address,
                                      std::chrono::milliseconds deadline) {
  gint64 end = g_get_monotonic_time() + static_cast<gint64>(deadline.count()) * 1000;
  Exchange exchange;
  g_main_context_push_thread_default(exchange.context);
  g_dbus_connection_new_for_address(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, exchange.cancellable, connected, &exchange);
  std::optional<bool> dark;
  if (exchange.wait(end) && exchange.connection) {
    for (const char* method : {"ReadOne", "Read"}) {
      gint64 left = (end - g_get_monotonic_time()) / 1000;
      if (left <= 0) break;
      exchange.finished = false;
      if (exchange.reply) g_variant_unref(exchange.reply);
      exchange.reply = nullptr;
      g_dbus_connection_call(exchange.connection, "org.freedesktop.portal.Desktop",
                             "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
                             method,
                             g_variant_new("(ss)", "org.freedesktop.appearance", "color-scheme"),
                             G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                             static_cast<int>(left), exchange.cancellable, answered, &exchange);
      if (!exchange.wait(end)) break;
      if (!exchange.reply) continue;  // an older portal without ReadOne: try Read
      GVariant* value = nullptr;
      g_variant_get(exchange.reply, "(v)", &value);
      dark = schemeOf(value);
      break;
    }
  }
  g_main_context_pop_thread_default(exchange.context);
  return dark;
}

std::optional<bool> gtkPrefersDark(const Environment& environment) {
  for (const fs::path& file : GtkSettings::files(environment)) {
    if (auto value = settingsValue(file)) return value;
  }
  return std::nullopt;
}

bool prefersDark(const Environment& environment, std::chrono::milliseconds deadline) {
  // Only the session bus named by the environment: no bus is ever started for the question.
  EnvironmentBlock busVariables;
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}) {
    if (auto value = environment(name)) busVariables.set(name, *value);
  }
  if (auto address = BusAddress::session(busVariables)) {
    if (auto dark = portalPrefersDark(*address, deadline)) return *dark;
  }
  return gtkPrefersDark(environment).value_or(false);
}

}  // namespace meterwright::ColorScheme
