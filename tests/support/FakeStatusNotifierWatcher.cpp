#include "support/FakeStatusNotifierWatcher.h"

#include <gio/gio.h>

#include "support/FakeBusObject.h"

namespace meterwright::testing {

namespace {

const char* const introspection = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>)";

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* watcherPath = "/StatusNotifierWatcher";

}  // namespace

struct FakeStatusNotifierWatcher::Impl {
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  bool owned = false;
  bool hostRegistered = true;
  std::vector<std::string> registrations;

  void handle(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation) {
    if (g_str_equal(method, "RegisterStatusNotifierItem")) {
      const gchar* service = nullptr;
      g_variant_get(parameters, "(&s)", &service);
      registrations.emplace_back(service);
      g_dbus_connection_emit_signal(connection, nullptr, watcherPath, watcherName,
                                    "StatusNotifierItemRegistered", g_variant_new("(s)", service),
                                    nullptr);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }

  GVariant* property(const gchar* name) {
    if (g_str_equal(name, "IsStatusNotifierHostRegistered"))
      return g_variant_new_boolean(hostRegistered);
    if (g_str_equal(name, "ProtocolVersion")) return g_variant_new_int32(0);
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
    for (const auto& each : registrations) g_variant_builder_add(&list, "s", each.c_str());
    return g_variant_builder_end(&list);
  }
};

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const std::string& busAddress,
                                                     bool hostRegistered)
    : impl_(std::make_unique<Impl>()) {
  impl_->hostRegistered = hostRegistered;
  impl_->owned = exportFakeObject(busAddress, introspection, watcherPath, impl_.get(), watcherName);
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() {
  leave();
}

bool FakeStatusNotifierWatcher::ready() const {
  return impl_->owned;
}

const std::vector<std::string>& FakeStatusNotifierWatcher::registrations() const {
  return impl_->registrations;
}

void FakeStatusNotifierWatcher::registerHost() {
  impl_->hostRegistered = true;
  g_dbus_connection_emit_signal(impl_->connection, nullptr, watcherPath, watcherName,
                                "StatusNotifierHostRegistered", nullptr, nullptr);
}

void FakeStatusNotifierWatcher::leave() {
  unexportFakeObject(impl_.get());
  impl_->owned = false;
}

}  // namespace meterwright::testing
