#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

// Ownership of GLib objects in C++ terms, for the platform code that talks to D-Bus and the main
// loop. Kept out of public headers: only sources include GLib.
namespace meterwright::glib {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Object = std::unique_ptr<T, ObjectUnref>;

struct VariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

// The error's message for people, or `fallback` when there is none.
inline std::string message(const GError* error, const char* fallback = "unknown error") {
  return error && error->message ? error->message : fallback;
}

// The result of an asynchronous GIO call goes to a C callback with one pointer of user data. This
// boxes a C++ handler as that pointer; `readyCallback` calls it once and frees it.
using ReadyHandler = std::function<void(GObject* source, GAsyncResult* result)>;
inline gpointer box(ReadyHandler handler) {
  return new ReadyHandler(std::move(handler));
}
inline void readyCallback(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ReadyHandler> handler(static_cast<ReadyHandler*>(data));
  (*handler)(source, result);
}

}  // namespace meterwright::glib
