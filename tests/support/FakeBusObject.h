#pragma once

#include <gio/gio.h>

#include <future>
#include <string>
#include <thread>

namespace meterwright::testing {

// What every stand-in D-Bus service of the tests starts with: its own connection to the bus at
// `address`, and the first interface of `introspection` exported at `path`, method calls going to
// `impl->handle(method, parameters, invocation)` and, where Impl has one,
// property reads to `impl->property(name)`. Calls are dispatched on the thread-default main
// context of the caller. Nothing is exported when the bus cannot be reached; `connection` then
// stays null. With a `name`, the connection asks for it too. Whether the object is up (and, with
// a name, the connection owns it).
template <class Impl>
bool exportFakeObject(const std::string& address, const char* introspection, const char* path,
                      Impl* impl, const char* name = nullptr) {
  auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  impl->connection =
      g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
  if (!impl->connection) return false;
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
  if (!name) return impl->registration != 0;
  // DO_NOT_QUEUE: a name someone else holds is a failed set-up, not a wait.
  GVariant* reply = g_dbus_connection_call_sync(
      impl->connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
      5000, nullptr, nullptr);
  if (!reply) return false;
  guint32 result = 0;
  g_variant_get(reply, "(u)", &result);
  g_variant_unref(reply);
  return result == 1;  // primary owner
}

// Undoes exportFakeObject: the object and the connection (and so its name) go.
template <class Impl>
void unexportFakeObject(Impl* impl) {
  if (!impl->connection) return;
  if (impl->registration) g_dbus_connection_unregister_object(impl->connection, impl->registration);
  g_dbus_connection_close_sync(impl->connection, nullptr, nullptr);
  g_object_unref(impl->connection);
  impl->connection = nullptr;
  impl->registration = 0;
}

// Serves `impl`'s object on a thread and main context of its own, for code under test that waits
// for its answer on the test's thread or on a context of its own.
template <class Impl>
class FakeObjectThread {
 public:
  FakeObjectThread(const std::string& address, const char* introspection, const char* path,
                   const char* name, Impl& impl) {
    std::promise<bool> exported;
    std::future<bool> ready = exported.get_future();
    thread_ = std::thread([&, this] {
      g_main_context_push_thread_default(context_);
      exported.set_value(exportFakeObject(address, introspection, path, &impl, name));
      g_main_loop_run(loop_);
      unexportFakeObject(&impl);
      g_main_context_pop_thread_default(context_);
    });
    ready_ = ready.get();
  }
  // Quits from inside the loop: a quit from here could come before the loop runs and be lost.
  ~FakeObjectThread() {
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return gboolean(G_SOURCE_REMOVE);
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
  }
  FakeObjectThread(const FakeObjectThread&) = delete;
  FakeObjectThread& operator=(const FakeObjectThread&) = delete;

  bool ready() const { return ready_; }

 private:
  GMainContext* context_ = g_main_context_new();
  GMainLoop* loop_ = g_main_loop_new(context_, FALSE);
  bool ready_ = false;
  std::thread thread_;
};

}  // namespace meterwright::testing
