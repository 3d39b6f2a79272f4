#include "support/FakeNotificationServer.h"

#include <gio/gio.h>

#include "support/FakeBusObject.h"

namespace meterwright::testing {

namespace {

const char* const introspection = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
  </interface>
</node>)";

}  // namespace

struct FakeNotificationServer::Impl {
  std::vector<std::string> capabilities;
  Behaviour behaviour;
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  bool owned = false;
  std::vector<NotifyCall> calls;
  std::vector<std::uint32_t> ids;
  int informationRequests = 0;
  std::vector<GDBusMethodInvocation*> unanswered;

  void handle(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation) {
    bool keep = behaviour == Behaviour::silent;
    if (g_str_equal(method, "GetCapabilities")) {
      if (keep) return unanswered.push_back(invocation);
      GVariantBuilder list;
      g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
      for (const auto& capability : capabilities)
        g_variant_builder_add(&list, "s", capability.c_str());
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &list));
    } else if (g_str_equal(method, "GetServerInformation")) {
      ++informationRequests;
      if (keep) return unanswered.push_back(invocation);
      g_dbus_method_invocation_return_value(
          invocation, g_variant_new("(ssss)", "fake-server", "meterwright tests", "1", "1.2"));
    } else {
      record(parameters);
      if (behaviour == Behaviour::answer) {
        ids.push_back(static_cast<std::uint32_t>(ids.size() + 1));
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", ids.back()));
      } else if (behaviour == Behaviour::refuse) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                   "not today");
      } else {
        unanswered.push_back(invocation);
        if (behaviour == Behaviour::vanish)
          g_dbus_connection_close_sync(connection, nullptr, nullptr);
      }
    }
  }

  void record(GVariant* parameters) {
    NotifyCall call;
    const gchar *appName, *icon, *title, *body;
    GVariantIter *actions, *hints;
    g_variant_get(parameters, "(&su&s&s&sasa{sv}i)", &appName, &call.replacesId, &icon, &title,
                  &body, &actions, &hints, &call.expireTimeout);
    call.appName = appName;
    call.icon = icon;
    call.title = title;
    call.body = body;
    const gchar* action;
    while (g_variant_iter_loop(actions, "&s", &action)) call.actions.emplace_back(action);
    const gchar* key;
    GVariant* value;
    while (g_variant_iter_loop(hints, "{&sv}", &key, &value)) {
      gchar* text = g_variant_print(value, FALSE);
      call.hints[key] = text;
      g_free(text);
    }
    g_variant_iter_free(actions);
    g_variant_iter_free(hints);
    calls.push_back(std::move(call));
  }
};

FakeNotificationServer::FakeNotificationServer(const std::string& busAddress,
                                               std::vector<std::string> capabilities,
                                               Behaviour behaviour)
    : impl_(std::make_unique<Impl>()) {
  impl_->capabilities = std::move(capabilities);
  impl_->behaviour = behaviour;
  impl_->owned = exportFakeObject(busAddress, introspection, "/org/freedesktop/Notifications",
                                  impl_.get(), "org.freedesktop.Notifications");
}

FakeNotificationServer::~FakeNotificationServer() {
  for (auto* invocation : impl_->unanswered) {
    if (!g_dbus_connection_is_closed(impl_->connection))
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                 "test over");
    else
      g_object_unref(invocation);
  }
  unexportFakeObject(impl_.get());
}

bool FakeNotificationServer::ready() const {
  return impl_->owned;
}
const std::vector<NotifyCall>& FakeNotificationServer::calls() const {
  return impl_->calls;
}
int FakeNotificationServer::serverInformationRequests() const {
  return impl_->informationRequests;
}
const std::vector<std::uint32_t>& FakeNotificationServer::ids() const {
  return impl_->ids;
}

}  // namespace meterwright::testing
