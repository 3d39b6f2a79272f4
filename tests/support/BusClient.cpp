#include "support/BusClient.h"

#include <optional>

#include "platform/dbus/BusCalls.h"
#include "platform/glib/MainLoopWait.h"

namespace meterwright::testing {

BusClient::BusClient(const std::string& address) {
  auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  connection_ =
      g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
}

BusClient::~BusClient() {
  if (!connection_) return;
  for (guint each : subscriptions_) g_dbus_connection_signal_unsubscribe(connection_, each);
  g_dbus_connection_close_sync(connection_, nullptr, nullptr);
  g_object_unref(connection_);
}

BusClient::Reply BusClient::call(const std::string& destination, const char* path,
                                 const char* interface, const char* method, GVariant* parameters,
                                 double timeoutSeconds) {
  std::optional<Reply> reply;
  BusCalls::call(connection_, {destination.c_str(), path, interface, method, parameters},
                 timeoutSeconds, [&reply](glib::Variant value, glib::Error error, GUnixFDList*) {
                   reply = Reply{std::move(value), error ? glib::message(error.get()) : ""};
                 });
  if (!MainLoopWait::until([&] { return reply.has_value(); }, timeoutSeconds + 5))
    return {nullptr, "no reply in time"};
  return std::move(*reply);
}

glib::Object<GDBusProxy> BusClient::proxy(const std::string& destination, const char* path,
                                          const char* interface) {
  GDBusProxy* made = nullptr;
  bool finished = false;
  g_dbus_proxy_new(connection_, G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, nullptr, destination.c_str(),
                   path, interface, nullptr, glib::readyCallback,
                   glib::box([&](GObject*, GAsyncResult* result) {
                     made = g_dbus_proxy_new_finish(result, nullptr);
                     finished = true;
                   }));
  // Past GDBus's own deadline for loading the properties, so the handler never outlives `made`.
  MainLoopWait::until([&] { return finished; }, 30);
  return glib::Object<GDBusProxy>(made);
}

void BusClient::listen(const char* interface) {
  subscriptions_.push_back(g_dbus_connection_signal_subscribe(
      connection_, nullptr, interface, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
         GVariant* parameters, gpointer data) {
        static_cast<BusClient*>(data)->signals_.push_back(std::string(name) + " " +
                                                          printed(parameters));
      },
      this, nullptr));
}

std::string printed(GVariant* value) {
  if (!value) return "(none)";
  gchar* text = g_variant_print(value, FALSE);
  std::string result = text;
  g_free(text);
  return result;
}

}  // namespace meterwright::testing
