#include "platform/dbus/BusCalls.h"

#include <gio/gunixfdlist.h>

#include <algorithm>
#include <cmath>

namespace meterwright::BusCalls {

namespace {

int milliseconds(double seconds) {
  if (!(seconds > 0)) return 1;
  return static_cast<int>(std::lround(std::min(seconds, 86400.0) * 1000));
}

GDBusCallFlags flagsOf(const Method& method) {
  return method.autoStart ? G_DBUS_CALL_FLAGS_NONE : G_DBUS_CALL_FLAGS_NO_AUTO_START;
}

}  // namespace

void connect(const std::string& address, double deadlineSeconds, Connected done) {
  GCancellable* cancellable = g_cancellable_new();
  // Opening can hang on a socket whose listener never finishes the handshake.
  GSource* alarm = g_timeout_source_new(static_cast<guint>(milliseconds(deadlineSeconds)));
  g_source_set_callback(
      alarm,
      [](gpointer data) {
        g_cancellable_cancel(static_cast<GCancellable*>(data));
        return G_SOURCE_REMOVE;
      },
      g_object_ref(cancellable), g_object_unref);
  g_source_attach(alarm, g_main_context_get_thread_default());
  auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  g_dbus_connection_new_for_address(
      address.c_str(), flags, nullptr, cancellable, glib::readyCallback,
      glib::box([alarm, cancellable, done = std::move(done)](GObject*, GAsyncResult* result) {
        g_source_destroy(alarm);
        g_source_unref(alarm);
        g_object_unref(cancellable);
        GError* error = nullptr;
        glib::Object<GDBusConnection> connection(
            g_dbus_connection_new_for_address_finish(result, &error));
        glib::Error owned(error);
        std::string problem = connection ? "" : glib::message(error);
        done(std::move(connection), std::move(problem));
      }));
}

void call(GDBusConnection* connection, const Method& method, double deadlineSeconds, Replied done,
          bool wantsDescriptors) {
  auto finish = [done = std::move(done), wantsDescriptors](GObject* source, GAsyncResult* result) {
    GError* error = nullptr;
    GUnixFDList* fds = nullptr;
    GVariant* reply =
        wantsDescriptors ? g_dbus_connection_call_with_unix_fd_list_finish(
                               G_DBUS_CONNECTION(source), &fds, result, &error)
                         : g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    glib::Object<GUnixFDList> ownedFds(fds);
    done(glib::Variant(reply), glib::Error(error), fds);
  };
  if (wantsDescriptors) {
    g_dbus_connection_call_with_unix_fd_list(
        connection, method.destination, method.path, method.interface, method.name,
        method.parameters, method.replyType, flagsOf(method), milliseconds(deadlineSeconds),
        nullptr, nullptr, glib::readyCallback, glib::box(std::move(finish)));
  } else {
    g_dbus_connection_call(connection, method.destination, method.path, method.interface,
                           method.name, method.parameters, method.replyType, flagsOf(method),
                           milliseconds(deadlineSeconds), nullptr, glib::readyCallback,
                           glib::box(std::move(finish)));
  }
}

}  // namespace meterwright::BusCalls
