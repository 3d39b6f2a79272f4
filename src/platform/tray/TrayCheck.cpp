#include "platform/tray/TrayCheck.h"

#include <gio/gio.h>

#include <memory>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"
#include "platform/glib/MainLoopWait.h"

namespace meterwright::TrayCheck {

namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* watcherPath = "/StatusNotifierWatcher";

// Replies outlive a wait that gave up on them: they land here, owned by the callbacks too.
struct Reply {
  bool done = false;
  Answer answer = Answer::silent;
  glib::Variant value;
};

Answer failure(const GError* error) {
  if (!error) return Answer::silent;
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
      g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT))
    return Answer::silent;
  // GDBus checks the reply against the type asked for and says so with this code.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT)) return Answer::garbled;
  return Answer::refused;
}

std::shared_ptr<Reply> ask(GDBusConnection* connection, const BusCalls::Method& method,
                           double deadlineSeconds) {
  auto reply = std::make_shared<Reply>();
  BusCalls::call(connection, method, deadlineSeconds,
                 [reply](glib::Variant value, glib::Error error, GUnixFDList*) {
                   reply->done = true;
                   reply->answer = value ? Answer::yes : failure(error.get());
                   reply->value = std::move(value);
                 });
  // The call has its own deadline; the margin only covers a reply still on its way.
  MainLoopWait::until([&] { return reply->done; }, deadlineSeconds + 1);
  return reply;
}

}  // namespace

Facts gather(const EnvironmentBlock& environment, double deadlineSeconds) {
  Facts facts;
  std::optional<std::string> address = BusAddress::session(environment);
  if (!address) return facts;
  facts.busAddress = true;

  struct Opened {
    bool done = false;
    glib::Object<GDBusConnection> connection;
  };
  auto opened = std::make_shared<Opened>();
  BusCalls::connect(*address, deadlineSeconds,
                    [opened](glib::Object<GDBusConnection> connection, std::string) {
                      opened->done = true;
                      opened->connection = std::move(connection);
                    });
  MainLoopWait::until([&] { return opened->done; }, deadlineSeconds + 1);
  if (!opened->connection) {
    facts.bus = opened->done ? Answer::refused : Answer::silent;
    return facts;
  }
  facts.bus = Answer::yes;
  GDBusConnection* connection = opened->connection.get();

  auto owner = ask(connection,
                   {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "NameHasOwner", g_variant_new("(s)", watcherName), G_VARIANT_TYPE("(b)")},
                   deadlineSeconds);
  facts.watcher = owner->answer;
  if (owner->answer == Answer::yes) {
    gboolean has = FALSE;
    g_variant_get(owner->value.get(), "(b)", &has);
    if (!has) facts.watcher = Answer::no;
  }

  if (facts.watcher == Answer::yes) {
    auto host = ask(connection,
                    {watcherName, watcherPath, "org.freedesktop.DBus.Properties", "Get",
                     g_variant_new("(ss)", watcherName, "IsStatusNotifierHostRegistered"),
                     G_VARIANT_TYPE("(v)")},
                    deadlineSeconds);
    facts.host = host->answer;
    if (host->answer == Answer::yes) {
      GVariant* inner = nullptr;
      g_variant_get(host->value.get(), "(v)", &inner);
      glib::Variant value(inner);
      if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN))
        facts.host = Answer::garbled;
      else if (!g_variant_get_boolean(value.get()))
        facts.host = Answer::no;
    }
  }
  g_dbus_connection_close(connection, nullptr, nullptr, nullptr);
  return facts;
}

}  // namespace meterwright::TrayCheck
