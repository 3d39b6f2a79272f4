#include "desktop/windows/MainThread.h"

#include <glib.h>

#include <deque>
#include <mutex>

namespace meterwright::MainThread {

namespace {

// The actions travel through a queue under a lock of our own rather than inside the GLib source:
// GLib's own locking is invisible to the thread checker, this lock is not. Each source runs the
// oldest waiting action, so actions run in the order they were posted.
struct Waiting {
  std::mutex mutex;
  std::deque<std::function<void()>> actions;
};

Waiting& waiting() {
  static Waiting instance;
  return instance;
}

}  // namespace

void post(std::function<void()> action) {
  {
    std::lock_guard guard(waiting().mutex);
    waiting().actions.push_back(std::move(action));
  }
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source,
      [](gpointer) -> gboolean {
        std::function<void()> next;
        {
          std::lock_guard guard(waiting().mutex);
          if (waiting().actions.empty()) return G_SOURCE_REMOVE;
          next = std::move(waiting().actions.front());
          waiting().actions.pop_front();
        }
        if (next) next();
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
  g_source_attach(source, g_main_context_default());
  g_source_unref(source);
}

}  // namespace meterwright::MainThread
