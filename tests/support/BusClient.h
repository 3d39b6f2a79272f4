#pragma once

#include <gio/gio.h>

#include <string>
#include <vector>

#include "platform/glib/GlibHandles.h"

namespace meterwright::testing {

// A host's side of the bus for the tray tests: calls and proxies that iterate the thread-default
// main context while they wait, so the item under test (on the same context) can answer.
class BusClient {
 public:
  explicit BusClient(const std::string& address);
  ~BusClient();

  bool ready() const { return connection_ != nullptr; }

  struct Reply {
    glib::Variant value;
    // The D-Bus error's message; empty on success.
    std::string error;
  };
  // `timeoutSeconds` is the D-Bus call's own deadline: a peer that does not answer in time is
  // an error reply.
  Reply call(const std::string& destination, const char* path, const char* interface,
             const char* method, GVariant* parameters, double timeoutSeconds = 10);

  // A proxy with the object's properties cached, as a host reads them.
  glib::Object<GDBusProxy> proxy(const std::string& destination, const char* path,
                                 const char* interface);

  // From now on, every signal of `interface` is recorded as "Name (arguments)".
  void listen(const char* interface);
  const std::vector<std::string>& signals() const { return signals_; }
  void clearSignals() { signals_.clear(); }

 private:
  GDBusConnection* connection_ = nullptr;
  std::vector<guint> subscriptions_;
  std::vector<std::string> signals_;
};

// `value` as GVariant text.
std::string printed(GVariant* value);

}  // namespace meterwright::testing
