#include "support/FakeLogind.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <poll.h>
#include <unistd.h>

#include "support/FakeBusObject.h"

namespace meterwright::testing {

namespace {

const char* const introspection = R"(<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="h" direction="out"/>
    </method>
    <method name="CanSuspend"><arg type="s" direction="out"/></method>
    <property name="IdleAction" type="s" access="read"/>
    <property name="HandleLidSwitch" type="s" access="read"/>
    <signal name="PrepareForSleep"><arg type="b"/></signal>
  </interface>
</node>)";

}  // namespace

struct FakeLogind::Impl {
  Behaviour behaviour;
  LogindSettings settings;
  GDBusConnection* connection = nullptr;
  guint registration = 0;
  bool owned = false;
  std::vector<std::vector<std::string>> calls;
  std::vector<int> readEnds;
  std::vector<GDBusMethodInvocation*> unanswered;

  void handle(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation) {
    if (g_str_equal(method, "CanSuspend")) {
      g_dbus_method_invocation_return_value(invocation,
                                            g_variant_new("(s)", settings.canSuspend.c_str()));
      return;
    }
    const gchar *what, *who, *why, *mode;
    g_variant_get(parameters, "(&s&s&s&s)", &what, &who, &why, &mode);
    calls.push_back({what, who, why, mode});
    if (behaviour == Behaviour::silent) return unanswered.push_back(invocation);
    if (behaviour == Behaviour::refuse) {
      g_dbus_method_invocation_return_dbus_error(
          invocation, "org.freedesktop.DBus.Error.AccessDenied", "Permission denied");
      return;
    }
    handOut(invocation);
  }

  void handOut(GDBusMethodInvocation* invocation) {
    int ends[2];
    if (::pipe(ends) != 0) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                 "no pipe");
      return;
    }
    readEnds.push_back(ends[0]);
    GUnixFDList* fds = g_unix_fd_list_new_from_array(&ends[1], 1);  // takes the write end
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0),
                                                            fds);
    g_object_unref(fds);
  }

  GVariant* property(const gchar* name) {
    if (g_str_equal(name, "IdleAction")) return g_variant_new_string(settings.idleAction.c_str());
    return g_variant_new_string(settings.lidAction.c_str());
  }
};

FakeLogind::FakeLogind(const std::string& busAddress, Behaviour behaviour, LogindSettings settings)
    : impl_(std::make_unique<Impl>()) {
  impl_->behaviour = behaviour;
  impl_->settings = std::move(settings);
  impl_->owned = exportFakeObject(busAddress, introspection, "/org/freedesktop/login1", impl_.get(),
                                  "org.freedesktop.login1");
}

FakeLogind::~FakeLogind() {
  for (auto* invocation : impl_->unanswered) g_object_unref(invocation);
  for (int end : impl_->readEnds) ::close(end);
  unexportFakeObject(impl_.get());
}

bool FakeLogind::ready() const {
  return impl_->owned;
}

const std::vector<std::vector<std::string>>& FakeLogind::inhibitCalls() const {
  return impl_->calls;
}

bool FakeLogind::inhibitorHeld(std::size_t call) const {
  if (call >= impl_->readEnds.size()) return false;
  pollfd end{impl_->readEnds[call], POLLIN, 0};
  // Every write end closed: the read end reports hang-up.
  return ::poll(&end, 1, 0) == 0;
}

void FakeLogind::answerHeld() {
  auto held = std::move(impl_->unanswered);
  impl_->unanswered.clear();
  for (auto* invocation : held) impl_->handOut(invocation);
}

void FakeLogind::emitPrepareForSleep(bool goingToSleep) {
  g_dbus_connection_emit_signal(impl_->connection, nullptr, "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager", "PrepareForSleep",
                                g_variant_new("(b)", goingToSleep), nullptr);
  g_dbus_connection_flush_sync(impl_->connection, nullptr, nullptr);
}

}  // namespace meterwright::testing
