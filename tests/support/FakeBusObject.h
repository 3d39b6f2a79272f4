#pragma once

#include <gio/gio.h>

#include <string>

namespace meterwright::testing {

// What every stand-in D-Bus service of the tests starts with: its own connection to the bus at
// `address`, and the first interface of `introspection` exported at `path`, method calls going to
// `impl->handle(method, parameters, invocation)` and, where Impl has one,
// property reads to `impl->property(name)`. Nothing is exported when the bus cannot be reached;
// `connection` then stays null.
template <class Impl>
void exportFakeObject(const std::string& address, const char* introspection, const char* path,
                      Impl* impl) {
  auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  impl->connection =
      g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
  if (!impl->connection) return;
  GDBusInterfaceGetPropertyFunc property = nullptr;
  if constexpr (requires(Impl & i) { i.property(""); }) {
    property = [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                  GError**, gpointer data) { return static_cast<Impl*>(data)->property(name); };
  }
  static const GDBusInterfaceVTable vtable{
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
         GVariant* parameters, GDBusMethodInvocation* invocation,
         gpointer data) { static_cast<Impl*>(data)->handle(method, parameters, invocation); },
      property,
      nullptr,
      {}};
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
  impl->registration = g_dbus_connection_register_object(
      impl->connection, path, node->interfaces[0], &vtable, impl, nullptr, nullptr);
  g_dbus_node_info_unref(node);
}

}  // namespace meterwright::testing
