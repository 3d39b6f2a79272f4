#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

#include "platform/glib/GlibHandles.h"

// The two D-Bus steps every component here takes, asynchronously and with a deadline: opening a
// connection and calling a method. Results arrive on the thread-default main context of the
// caller, which its owner iterates. Handlers hold their component weakly: a reply may arrive after
// the component is gone.
namespace meterwright::BusCalls {

// Opens a private connection (never GLib's shared one, which ends the process when its bus goes
// away) to the bus at `address`. `done` gets the connection, or nothing and the reason.
using Connected =
    std::function<void(glib::Object<GDBusConnection> connection, std::string problem)>;
void connect(const std::string& address, double deadlineSeconds, Connected done);

struct Method {
  const char* destination;
  const char* path;
  const char* interface;
  const char* name;
  // Floating references are sunk by the call.
  GVariant* parameters = nullptr;
  const GVariantType* replyType = nullptr;
  // Whether the bus may start an activatable service that is not running.
  bool autoStart = false;
};

// `done` gets the reply, or nothing and the error (kind in its domain and code). `fds` comes
// back only for calls made with `wantsDescriptors`.
using Replied = std::function<void(glib::Variant reply, glib::Error error, GUnixFDList* fds)>;
void call(GDBusConnection* connection, const Method& method, double deadlineSeconds, Replied done,
          bool wantsDescriptors = false);

}  // namespace meterwright::BusCalls
