#include "platform/glib/MainLoopWait.h"

#include <glib.h>

#include <chrono>

#include "platform/process/ChildProcess.h"

namespace meterwright::MainLoopWait {

bool until(const std::function<bool()>& done, double seconds) {
  GMainContext* context = g_main_context_ref_thread_default();
  auto deadline = ChildProcess::deadlineAfter(seconds);
  // Wakes the blocking iteration at the deadline when nothing else arrives.
  auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  GSource* alarm = g_timeout_source_new(static_cast<guint>(std::max<long>(remaining.count(), 0)));
  g_source_set_callback(alarm, [](gpointer) { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(alarm, context);
  bool finished = false;
  for (;;) {
    if (done()) {
      finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    g_main_context_iteration(context, TRUE);
  }
  g_source_destroy(alarm);
  g_source_unref(alarm);
  g_main_context_unref(context);
  return finished;
}

void run(double seconds) {
  until([] { return false; }, seconds);
}

}  // namespace meterwright::MainLoopWait
